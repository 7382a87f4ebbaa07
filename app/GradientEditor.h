#pragma once
// "Gradient": the editor of a document's gradient look. Its stops (colour
// and position: added, moved on the strip or by number, removed), the
// offset and repetitions it is read with, the colour inside the set; a
// choice from the gallery and the user's library; import and export of
// ".ggr" and ".map" files; saving to the library. Every change shows at
// once in the document's window, painted from its cells.

#include <QDialog>
#include <QPointer>

#include <functional>
#include <vector>

#include "app/GradientLook.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class CGradientStrip;
class CFractal_Doc;

class CGradientEditor : public QDialog {
    Q_OBJECT
public:
    explicit CGradientEditor(QWidget* parent = nullptr);

    // The document edited; its look is loaded. None disables the editor.
    void SetDocument(CFractal_Doc* doc);
    CFractal_Doc* Document() const { return m_doc; }
    const std::vector<GradientStop>& Stops() const { return m_stops; }
    int Selected() const { return m_selected; }
    GradientLook Look() const;

    void SelectStop(int index);
    // A stop halfway between the selected one and the next (or the one
    // before, for the last), coloured as the gradient is there.
    void AddStop();
    void AddStopAt(double position);
    void RemoveStop();
    void MoveStop(int index, double position);
    void ChooseColor();
    void ChooseInsideColor();
    // Loads the gradient named in the choice list.
    void ChooseListed(int index);
    void Import();
    void Export();
    void SaveToLibrary();
    void ReloadLibrary();

    // Asked instead of the file dialog (save: for export), the colour
    // dialog, the name for the library, and instead of a message box.
    std::function<QString(const QString& filter, bool save)> m_askPath;
    std::function<QColor(const QColor& initial)> m_askColor;
    std::function<QString(const QString& initial)> m_askName;
    std::function<void(const QString& text)> m_complain;

    CGradientStrip* m_strip;
    QComboBox* m_choice;
    QDoubleSpinBox* m_position;
    QPushButton* m_colorButton;
    QPushButton* m_addButton;
    QPushButton* m_removeButton;
    QDoubleSpinBox* m_offset;
    QDoubleSpinBox* m_repetitions;
    QCheckBox* m_insideBackground;
    QPushButton* m_insideButton;
    QPushButton* m_importButton;
    QPushButton* m_exportButton;
    QPushButton* m_saveButton;
    QLabel* m_note;

private:
    // The look as the document holds it, shown in the controls.
    void LoadFromDocument();
    void ShowStops();
    // Writes the look into the document and paints; while it builds the
    // change waits for the build to end. Each is one undo step.
    void Changed();
    void BuildStateChanged();
    void Complain(const QString& text);
    QColor AskColor(const QColor& initial);

    QPointer<CFractal_Doc> m_doc;
    QMetaObject::Connection m_watch;
    std::vector<GradientStop> m_stops;
    int m_selected = 0;
    QString m_name;
    std::string m_inside;
    // A change not yet in the document: it was building.
    bool m_pending = false;
    bool m_loading = false;
};
