// Save Image As: the view rendered at a size of its own, off-screen.
#include <QFileDialog>
#include <QMessageBox>

#include <stop_token>

#include "document/DocumentFiles.h"
#include "document/FileFolder.h"
#include "document/FractalDoc.h"
#include "document/FractalView.h"
#include "document/ImageFiles.h"
#include "document/ImageSizeDialog.h"
#include "document/ProgressText.h"

bool CFractal_Doc::StartImageExport(const QString& path, const OffscreenJob& job,
                                    std::function<void(const BuildOutcome&)> ended, bool sixteenBits)
{
    if (IsBuilding() || !m_fractal)
        return false;
    // The render's own fractal, so the window's cells are not touched.
    std::shared_ptr<CFractal> copy = CopyOfFractal(*m_fractal);
    if (!copy)
        return false;
    copy->m_restart = true;
    // A PNG keeps the document it shows, so opening it opens that.
    const PngExtras extras{DocumentFileText(m_fractalType, *m_fractal), sixteenBits};
    return StartJob(
        [this, copy, file = path.toStdString(), job, ended, extras](std::stop_token stop) {
            const std::stop_callback onStop(stop, [&] { copy->m_stop = true; });
            const BuildOutcome out = SaveImageInBands(file, *copy, job, QueryMemoryStatus(), {}, extras);
            m_worker.Post([ended, out] {
                if (ended)
                    ended(out);
            });
        },
        [copy] { return QString::fromStdString(BuildStatusLine(*copy, "Saving the image...")); });
}

void CFractal_Doc::OnSaveImage(QWidget* owner)
{
    if (IsBuilding() || !m_fractal)
        return;
    CImageSizeDialog size(owner, m_canvas->m_targetWidth, m_canvas->m_targetHeight, m_antiAliasing);
    if (size.exec() != QDialog::Accepted)
        return;
    const QString png = "PNG images (*.png)";
    const QString png16 = "PNG images, 16 bits per channel (*.png)";
    QString filter;
    QString path = QFileDialog::getSaveFileName(owner, "Save Image As", SuggestedPath(Title() + ".png"),
                                                png + ";;" + png16 + ";;Bitmap Files 24bits (*.bmp)", &filter);
    RememberFolder(path);
    path = SavePath(path, filter == png || filter == png16 ? "png" : "bmp");
    if (path.isEmpty())
        return;
    QPointer<QWidget> parent = owner;
    StartImageExport(
        path, size.Job(),
        [this, parent](const BuildOutcome& out) {
            if (out.result == BuildOutcome::kRefused)
                QMessageBox::warning(parent, "Save Image As", QString::fromStdString(out.refusal));
            m_canvas->SetStatus(out.result == BuildOutcome::kDrawn     ? "Image saved"
                                : out.result == BuildOutcome::kStopped ? "Terminated by user!"
                                                                       : out.refusal);
        },
        filter == png16);
}
