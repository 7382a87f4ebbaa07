#pragma once
// "Julia Preview": a dock that shows, live, the Julia set of the point under
// the pointer in a Mandelbrot window. Each picture is built on a thread of
// its own, so the pointer never waits; a newer point stops the build of an
// older one, and only the newest picture is shown.

#include <QDockWidget>
#include <QImage>

#include "imaging/Gradient.h"

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

class CColorMap;
class CMandelbrotSet;
class QLabel;

class CJuliaPreview : public QDockWidget {
    Q_OBJECT
public:
    static constexpr int kSize = 200;

    explicit CJuliaPreview(QWidget* parent = nullptr);
    ~CJuliaPreview() override;

    // The constant to show next, coloured as `colors` colours; ignored
    // while the dock is hidden.
    void Follow(double cRe, double cIm, const CColorMap& colors, int iterations);
    // The constant of the picture shown, if any.
    std::optional<std::pair<double, double>> Shown() const { return m_shown; }
    const QImage& Picture() const { return m_picture; }
    // Milliseconds the last picture took to build and draw.
    double LastMilliseconds() const { return m_lastMs; }

signals:
    // The picture of that constant is shown.
    void updated(double cRe, double cIm);
    // A click in the dock: open the Julia set shown in a window of its own.
    void openRequested(double cRe, double cIm);

protected:
    void mouseReleaseEvent(class QMouseEvent* e) override;

private slots:
    // On the window's thread: shows the picture the worker left.
    void TakeResult();

private:
    struct Request {
        double cRe = 0, cIm = 0;
        int iterations = 1000;
        double red = 1, green = 1, blue = 1, redShift = 1, greenShift = 1, blueShift = 1;
        int background = 0;
        int coloring = 0;
        Gradient gradient;
        double gradientOffset = 0, gradientRepetitions = 1;
        std::string insideColor;
    };
    void Run();
    void Show(QImage picture, double cRe, double cIm, double ms);

    QLabel* m_label;
    QImage m_picture;
    std::optional<std::pair<double, double>> m_shown;
    double m_lastMs = 0;

    std::mutex m_lock;
    std::condition_variable m_wake;
    std::optional<Request> m_next;        // under m_lock
    bool m_quit = false;                  // under m_lock
    CMandelbrotSet* m_building = nullptr; // under m_lock: the fractal being built, to stop it
    // Under m_lock: the newest finished picture, until the window takes it.
    struct Result {
        QImage picture;
        double cRe = 0, cIm = 0, ms = 0;
    };
    std::optional<Result> m_result;
    std::thread m_thread;
};
