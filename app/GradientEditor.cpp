#include "app/GradientEditor.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>

#include "app/GradientLibrary.h"
#include "app/GradientStrip.h"
#include "document/FileFolder.h"
#include "document/FileReplacement.h"
#include "document/FractalDoc.h"
#include "document/FractalView.h"
#include "imaging/GradientFiles.h"

namespace {

QColor ToQColor(Rgb c) { return QColor(c.red, c.green, c.blue); }
Rgb ToRgb(const QColor& c) { return {uint8_t(c.red()), uint8_t(c.green()), uint8_t(c.blue())}; }

QIcon Swatch(const QColor& color)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(color);
    return QIcon(pixmap);
}

QDoubleSpinBox* SpinBox(double low, double high, int decimals, double step, QWidget* parent)
{
    auto* box = new QDoubleSpinBox(parent);
    box->setRange(low, high);
    box->setDecimals(decimals);
    box->setSingleStep(step);
    box->setKeyboardTracking(false);
    return box;
}

const char* const kFilesFilter = "Gradients (*.ggr *.map);;GIMP gradients (*.ggr);;Palettes (*.map)";

} // namespace

CGradientEditor::CGradientEditor(QWidget* parent)
    : QDialog(parent), m_strip(new CGradientStrip(this)), m_choice(new QComboBox(this)),
      m_position(SpinBox(0, 1, 4, 0.01, this)), m_colorButton(new QPushButton("&Colour...", this)),
      m_addButton(new QPushButton("&Add", this)), m_removeButton(new QPushButton("&Remove", this)),
      m_offset(SpinBox(-1000, 1000, 4, 0.01, this)), m_repetitions(SpinBox(0.0001, 100000, 4, 0.1, this)),
      m_insideBackground(new QCheckBox("The &background colour", this)),
      m_insideButton(new QPushButton("Colour &inside...", this)), m_importButton(new QPushButton("&Import...", this)),
      m_exportButton(new QPushButton("&Export...", this)), m_saveButton(new QPushButton("&Save to Library...", this)),
      m_note(new QLabel(this))
{
    setWindowTitle("Gradient");
    auto* layout = new QVBoxLayout(this);
    m_choice->setPlaceholderText("Choose a gradient...");
    m_choice->setIconSize(QSize(64, 12));
    layout->addWidget(m_choice);
    layout->addWidget(m_strip);

    auto* stopRow = new QHBoxLayout;
    stopRow->addWidget(new QLabel("&Position:", this));
    static_cast<QLabel*>(stopRow->itemAt(0)->widget())->setBuddy(m_position);
    stopRow->addWidget(m_position);
    stopRow->addWidget(m_colorButton);
    stopRow->addStretch();
    stopRow->addWidget(m_addButton);
    stopRow->addWidget(m_removeButton);
    layout->addLayout(stopRow);

    auto* form = new QFormLayout;
    form->addRow("&Offset:", m_offset);
    form->addRow("Re&petitions:", m_repetitions);
    auto* inside = new QHBoxLayout;
    inside->addWidget(m_insideBackground);
    inside->addWidget(m_insideButton);
    inside->addStretch();
    form->addRow("Inside the set:", inside);
    layout->addLayout(form);

    auto* files = new QHBoxLayout;
    files->addWidget(m_importButton);
    files->addWidget(m_exportButton);
    files->addStretch();
    files->addWidget(m_saveButton);
    layout->addLayout(files);
    m_note->setWordWrap(true);
    layout->addWidget(m_note);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    connect(m_strip, &CGradientStrip::selected, this, &CGradientEditor::SelectStop);
    connect(m_strip, &CGradientStrip::moved, this, &CGradientEditor::MoveStop);
    connect(m_strip, &CGradientStrip::addAsked, this, &CGradientEditor::AddStopAt);
    connect(m_position, &QDoubleSpinBox::valueChanged, this, [this](double v) {
        if (!m_loading)
            MoveStop(m_selected, v);
    });
    connect(m_colorButton, &QPushButton::clicked, this, &CGradientEditor::ChooseColor);
    connect(m_addButton, &QPushButton::clicked, this, &CGradientEditor::AddStop);
    connect(m_removeButton, &QPushButton::clicked, this, &CGradientEditor::RemoveStop);
    for (QDoubleSpinBox* box : {m_offset, m_repetitions})
        connect(box, &QDoubleSpinBox::valueChanged, this, [this] { Changed(); });
    connect(m_insideBackground, &QCheckBox::toggled, this, [this](bool background) {
        if (m_loading)
            return;
        m_inside = background ? std::string() : std::string("#ffffff");
        Changed();
    });
    connect(m_insideButton, &QPushButton::clicked, this, &CGradientEditor::ChooseInsideColor);
    connect(m_choice, &QComboBox::activated, this, &CGradientEditor::ChooseListed);
    connect(m_importButton, &QPushButton::clicked, this, &CGradientEditor::Import);
    connect(m_exportButton, &QPushButton::clicked, this, &CGradientEditor::Export);
    connect(m_saveButton, &QPushButton::clicked, this, &CGradientEditor::SaveToLibrary);
    m_stops = Gradient().Stops();
    ReloadLibrary();
    SetDocument(nullptr);
}

void CGradientEditor::SetDocument(CFractal_Doc* doc)
{
    QObject::disconnect(m_watch);
    m_doc = doc;
    m_pending = false;
    if (doc)
        m_watch = connect(doc, &CFractal_Doc::buildStateChanged, this, &CGradientEditor::BuildStateChanged);
    for (QWidget* w : findChildren<QWidget*>())
        if (w != m_note && !qobject_cast<QDialogButtonBox*>(w) && !qobject_cast<QDialogButtonBox*>(w->parent()))
            w->setEnabled(doc && doc->m_fractal);
    m_note->setText(doc ? QString() : QString("No fractal window is active."));
    LoadFromDocument();
}

void CGradientEditor::LoadFromDocument()
{
    if (!m_doc || !m_doc->m_fractal)
        return;
    const GradientLook look = LookOf(m_doc->m_fractal->m_colorMap);
    m_stops = look.gradient.Stops();
    m_selected = std::clamp(m_selected, 0, int(m_stops.size()) - 1);
    m_inside = look.insideColor;
    m_loading = true;
    m_offset->setValue(look.offset);
    m_repetitions->setValue(look.repetitions);
    m_insideBackground->setChecked(m_inside.empty());
    m_loading = false;
    ShowStops();
}

void CGradientEditor::ShowStops()
{
    m_loading = true;
    m_strip->SetStops(m_stops, m_selected);
    const GradientStop& s = m_stops[size_t(m_selected)];
    m_position->setValue(s.position);
    m_colorButton->setIcon(Swatch(ToQColor(s.color)));
    m_removeButton->setEnabled(m_doc && m_stops.size() > 2);
    Rgb inside{255, 255, 255};
    if (!m_inside.empty()) {
        Gradient parse;
        if (parse.SetText("0 " + m_inside))
            inside = parse.Stops()[0].color;
    }
    m_insideButton->setIcon(Swatch(ToQColor(inside)));
    m_loading = false;
}

GradientLook CGradientEditor::Look() const
{
    return {Gradient(m_stops), m_offset->value(), m_repetitions->value(), m_inside};
}

void CGradientEditor::Changed()
{
    if (m_loading || !m_doc)
        return;
    ShowStops();
    if (ApplyLook(*m_doc, Look(), "Edit gradient")) {
        m_pending = false;
        m_note->clear();
    } else if (m_doc->IsBuilding()) {
        m_pending = true;
        m_note->setText("The fractal is building: the change shows when it ends.");
    }
}

void CGradientEditor::BuildStateChanged()
{
    if (!m_doc || m_doc->IsBuilding())
        return;
    if (m_pending)
        Changed();
    else
        LoadFromDocument();
}

void CGradientEditor::SelectStop(int index)
{
    if (index < 0 || index >= int(m_stops.size()))
        return;
    m_selected = index;
    ShowStops();
}

void CGradientEditor::AddStopAt(double position)
{
    if (m_stops.size() >= Gradient::kMaxStops)
        return;
    const GradientStop stop{std::clamp(position, 0.0, 1.0), Gradient(m_stops).At(position)};
    const auto at = std::upper_bound(m_stops.begin(), m_stops.end(), stop.position,
                                     [](double p, const GradientStop& s) { return p < s.position; });
    m_selected = int(at - m_stops.begin());
    m_stops.insert(at, stop);
    Changed();
}

void CGradientEditor::AddStop()
{
    const size_t i = size_t(m_selected);
    const size_t other = i + 1 < m_stops.size() ? i + 1 : i - std::min<size_t>(i, 1);
    AddStopAt((m_stops[i].position + m_stops[other].position) / 2);
}

void CGradientEditor::RemoveStop()
{
    if (m_stops.size() <= 2)
        return;
    m_stops.erase(m_stops.begin() + m_selected);
    m_selected = std::min(m_selected, int(m_stops.size()) - 1);
    Changed();
}

void CGradientEditor::MoveStop(int index, double position)
{
    if (index < 0 || index >= int(m_stops.size()))
        return;
    size_t i = size_t(index);
    m_stops[i].position = std::clamp(position, 0.0, 1.0);
    // The stop keeps its place among the others: passing a neighbour swaps.
    while (i > 0 && m_stops[i - 1].position > m_stops[i].position) {
        std::swap(m_stops[i - 1], m_stops[i]);
        --i;
    }
    while (i + 1 < m_stops.size() && m_stops[i + 1].position < m_stops[i].position) {
        std::swap(m_stops[i + 1], m_stops[i]);
        ++i;
    }
    m_selected = int(i);
    Changed();
}

QColor CGradientEditor::AskColor(const QColor& initial)
{
    return m_askColor ? m_askColor(initial) : QColorDialog::getColor(initial, this, "Colour");
}

void CGradientEditor::ChooseColor()
{
    const QColor c = AskColor(ToQColor(m_stops[size_t(m_selected)].color));
    if (!c.isValid())
        return;
    m_stops[size_t(m_selected)].color = ToRgb(c);
    Changed();
}

void CGradientEditor::ChooseInsideColor()
{
    Rgb now{255, 255, 255};
    Gradient parse;
    if (!m_inside.empty() && parse.SetText("0 " + m_inside))
        now = parse.Stops()[0].color;
    const QColor c = AskColor(ToQColor(now));
    if (!c.isValid())
        return;
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", c.red(), c.green(), c.blue());
    m_inside = text;
    m_loading = true;
    m_insideBackground->setChecked(false);
    m_loading = false;
    Changed();
}

void CGradientEditor::ReloadLibrary()
{
    m_choice->clear();
    for (const NamedGradient& g : ListGradients()) {
        m_choice->addItem(QIcon(GradientPixmap(g.gradient, QSize(64, 12), devicePixelRatioF())), g.name,
                          QString::fromStdString(g.gradient.Text()));
        if (g.saved)
            m_choice->setItemData(m_choice->count() - 1, "Saved in " + GradientLibraryFolder(), Qt::ToolTipRole);
    }
    m_choice->setCurrentIndex(-1);
}

void CGradientEditor::ChooseListed(int index)
{
    Gradient g;
    if (index < 0 || !g.SetText(m_choice->itemData(index).toString().toStdString()))
        return;
    m_stops = g.Stops();
    m_selected = 0;
    m_name = m_choice->itemText(index);
    Changed();
}

void CGradientEditor::Complain(const QString& text)
{
    if (m_complain)
        m_complain(text);
    else
        QMessageBox::warning(this, "Gradient", text);
}

void CGradientEditor::Import()
{
    const QString path = m_askPath ? m_askPath(kFilesFilter, false)
                                   : QFileDialog::getOpenFileName(this, "Import Gradient", LastFolder(), kFilesFilter);
    if (path.isEmpty())
        return;
    RememberFolder(path);
    const GradientFileResult r = ReadGradientFile(path.toStdString());
    if (!r.ok) {
        Complain(QString::fromStdString(r.why));
        return;
    }
    m_stops = r.gradient.Stops();
    m_selected = 0;
    m_name = r.name.empty() ? QFileInfo(path).completeBaseName() : QString::fromStdString(r.name);
    m_choice->setCurrentIndex(-1);
    Changed();
}

void CGradientEditor::Export()
{
    QString path = m_askPath ? m_askPath(kFilesFilter, true)
                             : QFileDialog::getSaveFileName(this, "Export Gradient", LastFolder(), kFilesFilter);
    if (path.isEmpty())
        return;
    RememberFolder(path);
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix != "ggr" && suffix != "map")
        path += ".ggr";
    const Gradient g(m_stops);
    const std::string text = suffix == "map" ? WriteMap(g) : WriteGgr(g, m_name.toStdString());
    std::string why;
    if (!WriteFileAtomically(path.toStdString(), text, why))
        Complain(QString::fromStdString(why));
}

void CGradientEditor::SaveToLibrary()
{
    const QString name =
        (m_askName ? m_askName(m_name)
                   : QInputDialog::getText(this, "Save to Library", "Name of the gradient:", QLineEdit::Normal, m_name))
            .trimmed();
    if (name.isEmpty())
        return;
    QString error;
    if (!::SaveToLibrary(name, Gradient(m_stops), error)) {
        Complain(error);
        return;
    }
    m_name = name;
    ReloadLibrary();
    for (int i = m_choice->count() - 1; i >= 0; --i)
        if (m_choice->itemText(i) == name) {
            m_choice->setCurrentIndex(i);
            break;
        }
}
