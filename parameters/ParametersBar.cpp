#include "parameters/ParametersBar.h"

#include "parameters/RowHelp.h"

#include <QLabel>
#include <QMainWindow>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

#include <tuple>

namespace {

// Picture 0 marks top-level rows, picture 1 nested rows.
QIcon RowPicture(int which)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    if (which == 0) {
        p.setPen(QColor(0, 0, 128));
        p.setBrush(QColor(64, 96, 192));
        p.drawRect(3, 3, 9, 9);
    } else {
        p.setPen(QColor(0, 96, 0));
        p.setBrush(QColor(96, 176, 96));
        p.drawEllipse(4, 4, 7, 7);
    }
    return QIcon(pm);
}

bool IsTextEdited(int type)
{
    return type == kRowString || type == kRowInteger || type == kRowDouble || type == kRowFloat;
}

// The shape of a fractal's rows, without reading any value.
class RowShapes : public PropertyList {
public:
    int InsertRow(PropertyItem& row) override
    {
        rows.emplace_back(row.label ? row.label : "", row.type, row.level);
        return int(rows.size()) - 1;
    }
    std::vector<std::tuple<std::string, int, int>> rows;
};

// A row's labels from the top of the tree down: names a group across
// relistings.
std::string PathOf(const CPropertyGrid& grid, QTreeWidgetItem* item)
{
    std::string path;
    for (QTreeWidgetItem* i = item; i; i = i->parent())
        path = grid.GetCellText(i, 0).toStdString() + '\n' + path;
    return path;
}

} // namespace

CParametersBar::CParametersBar(QWidget* parent)
    : CSizingControlBar(parent), m_frame(new CGridFrame(this)), m_description(new QLabel(this)),
      m_gradientButton(new QPushButton("&Gradient...", this))
{
    // Wide and tall enough, until the user sizes it, for labels and values
    // to be read without dragging the edges first.
    Create("Properties", parent, QSize(406, 320), true, 123);
    if (parent)
        setFont(parent->font());
    // The grid fills the bar; the selected row's description sits at its foot.
    auto* body = new QWidget(this);
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(m_frame, 1);
    // Fixed at two lines: the frame commits an open edit whenever its size
    // changes, so a longer or shorter description must never resize it.
    m_description->setWordWrap(true);
    m_description->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_description->setContentsMargins(4, 0, 4, 2);
    m_description->setFixedHeight(2 * m_description->fontMetrics().lineSpacing() + 2);
    m_description->setMinimumWidth(1);
    auto* foot = new QHBoxLayout;
    foot->setContentsMargins(0, 0, 0, 0);
    foot->addWidget(m_description, 1);
    // The colours' own editor, beside the rows that only name them.
    m_gradientButton->setToolTip("Edit the gradient the colourings paint with");
    m_gradientButton->setEnabled(false);
    connect(m_gradientButton, &QPushButton::clicked, this, &CParametersBar::gradientAsked);
    foot->addWidget(m_gradientButton, 0, Qt::AlignTop);
    layout->addLayout(foot);
    setWidget(body);
    m_frame->Initialise();
    CPropertyGrid& grid = m_frame->Grid();
    grid.m_notifyWnd = this;
    grid.SetImages({RowPicture(0), RowPicture(1), RowPicture(1)});
    grid.InsertColumn(0, "Variable", 0, 100);
    grid.InsertColumn(1, "Value", 0, 100);
    for (QWidget* w : {static_cast<QWidget*>(m_frame), static_cast<QWidget*>(&grid), grid.viewport()}) {
        w->setStatusTip("Parameters window. Click any value to edit");
        w->setToolTip("Click to edit");
    }
    connect(&grid, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) { DescribeRow(item); });
    m_main = qobject_cast<QMainWindow*>(parent);
    if (auto* main = m_main.data()) {
        m_waitNote = new QLabel("The fractal is building: its properties can be edited when it ends");
        m_waitNote->hide();
        main->statusBar()->insertPermanentWidget(0, m_waitNote);
    }
}

CParametersBar::~CParametersBar()
{
    // An open edit still belongs to the document shown; then nothing more
    // reaches this object from the grid.
    Grid().EndEdit();
    Grid().m_notifyWnd = nullptr;
    QObject::disconnect(m_buildWatch);
}

int CParametersBar::InsertRow(PropertyItem& row)
{
    Row r;
    r.item = row;
    r.label = row.label ? row.label : "";
    m_rows.push_back(std::move(r));
    return int(m_rows.size()) - 1;
}

void CParametersBar::SetDocument(CFractal_Doc* doc)
{
    Grid().EndEdit();
    Keep();
    QObject::disconnect(m_buildWatch);
    m_doc = doc;
    if (doc)
        m_buildWatch = connect(doc, &CFractal_Doc::buildStateChanged, this, &CParametersBar::BuildStateChanged);
    Reload(doc ? doc->m_fractal.get() : nullptr);
    if (auto it = m_kept.find(doc); doc && it != m_kept.end())
        Expand(it->second.expanded);
    ShowReadOnly();
}

void CParametersBar::Keep()
{
    if (!m_doc)
        return;
    const CFractal_Doc* doc = m_doc;
    if (!m_kept.count(doc))
        connect(m_doc, &QObject::destroyed, this, [this, doc] { m_kept.erase(doc); });
    Kept& kept = m_kept[doc];
    // The cells, not the fields: during a build they still hold the values
    // read before it started, while the worker may be changing the fields.
    kept.values.clear();
    for (const Row& r : m_rows)
        kept.values.emplace_back(r.label, Grid().GetCellText(r.handle, 1).toStdString());
    kept.expanded = ExpandedGroups();
}

std::set<std::string> CParametersBar::ExpandedGroups() const
{
    std::set<std::string> open;
    for (const Row& r : m_rows)
        if (r.handle && r.handle->isExpanded())
            open.insert(PathOf(m_frame->Grid(), r.handle));
    return open;
}

void CParametersBar::Expand(const std::set<std::string>& groups)
{
    for (const Row& r : m_rows)
        if (r.handle && r.handle->childCount() > 0 && groups.count(PathOf(Grid(), r.handle)))
            r.handle->setExpanded(true);
}

bool CParametersBar::SameRows(CFractal* fractal)
{
    RowShapes now;
    fractal->FillProperties(now);
    if (now.rows.size() != m_rows.size())
        return false;
    for (size_t i = 0; i < m_rows.size(); ++i)
        if (now.rows[i] != std::make_tuple(m_rows[i].label, m_rows[i].item.type, m_rows[i].item.level))
            return false;
    return true;
}

void CParametersBar::BuildStateChanged()
{
    if (m_doc && !m_doc->IsBuilding() && m_fractal) {
        // A build may move the view and, by a change of kind, list other
        // rows (a Julia set adds its constant): those show at once.
        if (SameRows(m_fractal)) {
            RefreshValues();
        } else {
            const std::set<std::string> open = ExpandedGroups();
            Reload(m_fractal);
            Expand(open);
        }
    }
    ShowReadOnly();
}

void CParametersBar::ShowReadOnly()
{
    const bool busy = Busy();
    Grid().SetReadOnly(busy);
    m_gradientButton->setEnabled(!busy && FindItem("Colors") && FindItem("Colors")->childCount() > 0);
    if (m_waitNote)
        m_waitNote->setVisible(busy);
}

void CParametersBar::Reload(CFractal* fractal)
{
    CPropertyGrid& grid = Grid();
    grid.EndEdit();
    m_fractal = fractal;
    m_rows.clear();
    if (!fractal) {
        grid.DeleteAllRows();
        DescribeRow(nullptr);
        return;
    }
    setUpdatesEnabled(false);
    m_level = 0;
    fractal->FillProperties(*this);
    for (Row& r : m_rows)
        r.item.label = r.label.c_str();
    grid.DeleteAllRows();
    const bool busy = Busy();
    // A building document shows what its cells held before the build.
    const Kept* kept = nullptr;
    if (auto it = m_kept.find(m_doc); busy && it != m_kept.end())
        kept = &it->second;
    QTreeWidgetItem* last[11] = {};
    size_t index = 0;
    const int kind = fractal->m_kind;
    for (Row& r : m_rows) {
        const int level = qBound(0, r.item.level, 9);
        QTreeWidgetItem* parent = nullptr;
        // A row deeper than any open parent hangs under the deepest one.
        for (int l = level; l > 0 && !parent; --l)
            parent = last[l];
        QTreeWidgetItem* item = grid.AddItem(QString::fromStdString(r.label), parent ? 1 : 0, parent ? 1 : 0, parent);
        last[level + 1] = item;
        r.handle = item;
        r.group = parent ? grid.GetCellText(parent, 0).toStdString() : std::string();
        const RowHelp help = FindRowHelp(kind, r.group, r.label);
        if (!help.Empty()) {
            // The guide tells more of every kind's rows than a tip can.
            const QString tip = QString::fromStdString(help.ToolTip()) + "\nF1: the User Guide on this kind";
            r.tip = tip;
            item->setToolTip(0, tip);
            item->setToolTip(1, tip);
            item->setWhatsThis(0, QString::fromStdString(help.line));
        }
        if (!busy)
            grid.SetCellText(item, 1, QString::fromStdString(ValueText(r.item)));
        else if (kept && index < kept->values.size() && kept->values[index].first == r.label)
            grid.SetCellText(item, 1, QString::fromStdString(kept->values[index].second));
        grid.SetEditable(item, IsTextEdited(r.item.type));
        ++index;
    }
    setUpdatesEnabled(true);
    DescribeRow(grid.currentItem());
}

void CParametersBar::DescribeRow(QTreeWidgetItem* item)
{
    m_description->setText(item ? item->whatsThis(0) : QString());
}

void CParametersBar::RefreshValues()
{
    if (Busy())
        return;
    setUpdatesEnabled(false);
    for (const Row& r : m_rows)
        Grid().SetCellText(r.handle, 1, QString::fromStdString(ValueText(r.item)));
    setUpdatesEnabled(true);
}

int CParametersBar::HeightForAllRows()
{
    CPropertyGrid& grid = Grid();
    QTreeWidgetItem* first = grid.topLevelItem(0);
    const int rowHeight = first ? grid.visualItemRect(first).height() : 0;
    if (rowHeight <= 0 || grid.viewport()->height() <= 0)
        return height();
    // Everything but the grid's rows keeps its height: header, frame,
    // description, caption.
    return height() - grid.viewport()->height() + RowCount() * rowHeight;
}

QTreeWidgetItem* CParametersBar::FindItem(const QString& label) const
{
    for (const Row& r : m_rows)
        if (QString::fromStdString(r.label) == label)
            return r.handle;
    return nullptr;
}

void CParametersBar::Note(const QString& text)
{
    m_note = text;
    if (m_main && !text.isEmpty())
        m_main->statusBar()->showMessage(text);
}

int CParametersBar::OnGridChanged(CPropertyGrid* grid, bool* refused)
{
    if (grid != &Grid() || !grid->m_editItem || !m_fractal)
        return 0;
    size_t index = 0;
    while (index < m_rows.size() && m_rows[index].handle != grid->m_editItem)
        ++index;
    if (index == m_rows.size())
        return 0;
    // The running build reads these fields: the edit is refused and the
    // cell keeps the value in force.
    if (Busy())
        return 0;
    PropertyItem& row = m_rows[index].item;
    QTreeWidgetItem* item = m_rows[index].handle;
    const std::string text = grid->m_editText.toStdString();
    const ParseResult result = StepValue(row, text);
    const QString note =
        result.kind == ParseResult::kTaken ? QString() : QString::fromStdString(ParseNoteText(row, text, result));
    Note(note);
    const QString tip = m_rows[index].tip;
    item->setToolTip(1, note.isEmpty() ? tip : tip.isEmpty() ? note : note + "\n" + tip);
    if (result.kind == ParseResult::kRefused) {
        if (refused)
            *refused = true;
        return 0;
    }
    grid->SetCellText(item, 1, QString::fromStdString(ValueText(row)));
    if (row.type == kRowString && m_doc)
        m_doc->SetTitle(QString::fromStdString(m_fractal->m_name));
    // Taken before ValueChanged: a reload lists the rows anew, and `row`
    // with them.
    const QString label = QString::fromStdString(m_rows[index].label);
    const bool coloring = m_fractal->m_colorMap.IsColoringValue(row.value);
    if (m_fractal->ValueChanged(int(index), row))
        Reload(m_fractal);
    if (m_doc) {
        m_doc->History().RecordChange("Edit " + label);
        // A colouring's rows repaint from the cells at once; any other
        // edit waits for a build, and the window says so.
        if (coloring)
            Recolor();
        else
            m_doc->NoteRowsChanged();
    }
    return 1;
}

void CParametersBar::Recolor()
{
    const CColorMap& map = m_fractal->m_colorMap;
    const std::string note = map.ColoringNeedsBuild() ? "Changed: F9 builds" : "";
    if (!note.empty())
        m_doc->NoteRowsChanged();
    if (map.m_gridWidth <= 0 || map.m_gridHeight <= 0) {
        if (!note.empty())
            Note(QString::fromStdString(note));
        return;
    }
    // After the edit has been committed: the cells are painted again,
    // nothing is built. The note follows the paint's "Ready".
    CFractal_Doc* doc = m_doc;
    QMetaObject::invokeMethod(
        doc, [doc, note] { doc->OnBuild(kCmdPaint, note); }, Qt::QueuedConnection);
}

bool CParametersBar::event(QEvent* e)
{
    if (e->type() == QEvent::Type(WM_GRID_CHANGED)) {
        auto* changed = static_cast<GridChangedEvent*>(e);
        changed->m_result = OnGridChanged(changed->m_grid, &changed->m_keepEditing);
        return true;
    }
    return CSizingControlBar::event(e);
}

void CParametersBar::moveEvent(QMoveEvent* e)
{
    CSizingControlBar::moveEvent(e);
    // Also when the bar floats and its own window is moved.
    Grid().EndEdit();
}
