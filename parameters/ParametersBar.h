#pragma once
// "Properties": the docking bar that lists the parameters of one document's
// fractal in the property grid and writes edits into the fractal's fields.
// It shows the document of the view activated last.

#include <QMainWindow>
#include <QMetaObject>
#include <QPointer>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "document/FractalDoc.h"
#include "document/FractalView.h" // completes the document's view pointers
#include "parameters/GridFrame.h"
#include "parameters/SizingControlBar.h"
#include "rows/PropertyList.h"

class QLabel;
class QPushButton;

class CParametersBar : public CSizingControlBar, public PropertyList, public ParametersHost {
    Q_OBJECT
public:
    explicit CParametersBar(QWidget* parent = nullptr);
    ~CParametersBar() override;

    // PropertyList: rows collect here until Reload shows them.
    int InsertRow(PropertyItem& row) override;

    // ParametersHost.
    CFractal_Doc* Document() const override { return m_doc; }
    void SetDocument(CFractal_Doc* doc) override;
    void EndEdit() override { m_frame->Grid().EndEdit(); }
    void RefreshValues() override;

    void Reload(CFractal* fractal);
    // The changed message from the grid; 1 when a row was updated. A text
    // the row cannot take sets `refused` and leaves the value as it was.
    int OnGridChanged(CPropertyGrid* grid, bool* refused = nullptr);
    // The last word on an edited text that was not taken as it stands (also
    // on the status bar); empty after one that was.
    QString LastNote() const { return m_note; }

    CPropertyGrid& Grid() { return m_frame->Grid(); }
    CGridFrame& Frame() { return *m_frame; }
    CFractal* Fractal() const { return m_fractal; }
    int RowCount() const { return int(m_rows.size()); }
    const PropertyItem& RowAt(int i) const { return m_rows[size_t(i)].item; }
    QTreeWidgetItem* ItemAt(int i) const { return m_rows[size_t(i)].handle; }
    // The grid item of the first row labelled `label`, or none.
    QTreeWidgetItem* FindItem(const QString& label) const;
    // The status-bar note that says why edits wait during a build (none
    // without a main window).
    QLabel* WaitNote() const { return m_waitNote; }
    // The line under the grid that describes the selected row.
    QLabel* Description() const { return m_description; }
    // "Gradient...", at the bar's foot: enabled while the rows shown have a
    // "Colors" group and may be edited.
    QPushButton* GradientButton() const { return m_gradientButton; }
    // The bar's height at which all the rows shown, their groups open, fit
    // without scrolling; its present height while it has no rows or has not
    // been laid out.
    int HeightForAllRows();

signals:
    void gradientAsked();

protected:
    bool event(QEvent* e) override;
    void moveEvent(QMoveEvent* e) override;

private:
    struct Row {
        PropertyItem item;
        std::string label; // item.label points here once all rows are in
        std::string group; // the label of its group header, "" at the top
        QTreeWidgetItem* handle = nullptr;
        QString tip; // the row's help
    };
    // While its document builds, the worker owns the fractal's fields.
    bool Busy() const { return m_doc && m_doc->IsBuilding(); }
    // A colouring row changed: the cells are painted again.
    void Recolor();
    // What a document's rows showed when the bar last left it: the values
    // (read before its build started) and the open groups.
    struct Kept {
        std::vector<std::pair<std::string, std::string>> values; // label, value
        std::set<std::string> expanded;
    };
    void Keep();
    std::set<std::string> ExpandedGroups() const;
    void Expand(const std::set<std::string>& groups);
    void BuildStateChanged();
    bool SameRows(CFractal* fractal);
    void ShowReadOnly();
    void DescribeRow(QTreeWidgetItem* item);

    CGridFrame* m_frame;
    CFractal* m_fractal = nullptr;
    CFractal_Doc* m_doc = nullptr;
    std::vector<Row> m_rows;
    QMetaObject::Connection m_buildWatch;
    std::map<const CFractal_Doc*, Kept> m_kept;
    QLabel* m_waitNote = nullptr;
    QLabel* m_description;
    QPushButton* m_gradientButton;
    QPointer<QMainWindow> m_main;
    QString m_note;
    void Note(const QString& text);
};
