// The document's undo steps, view history and navigation.
#include <QUndoCommand>

#include <sstream>
#include <utility>

#include "document/BuildSteps.h"
#include "document/DocumentFiles.h"
#include "document/FractalDoc.h"
#include "document/FractalView.h"
#include "model/FractalKinds.h"
#include "numbers/Coordinate.h"

namespace {

// One change of the fractal as its rows before and after. The change has
// been made already when the step is recorded, so its first redo does
// nothing; a paste is recorded before it is made.
class RowsChange : public QUndoCommand {
public:
    RowsChange(CFractal_Doc* doc, QString before, QString after, const QString& label, bool done)
        : QUndoCommand(label), m_doc(doc), m_before(std::move(before)), m_after(std::move(after)), m_done(done)
    {
    }
    void undo() override { m_doc->RestoreRows(m_before); }
    void redo() override
    {
        if (m_done) {
            m_done = false;
            return;
        }
        m_doc->RestoreRows(m_after);
    }

private:
    CFractal_Doc* m_doc;
    QString m_before, m_after;
    bool m_done;
};

QString WriteRows(int type, CFractal& fractal)
{
    std::ostringstream out;
    WriteDocumentFile(out, type, fractal);
    return QString::fromStdString(out.str());
}

} // namespace

QString CFractal_Doc::RowsText()
{
    if (IsBuilding() || !m_fractal)
        return m_committedRows;
    return WriteRows(m_fractalType, *m_fractal);
}

ViewPlace CFractal_Doc::FractalPlace() const
{
    if (!m_fractal)
        return {};
    ViewPlace place{m_fractal->m_centerX, m_fractal->m_centerY, m_fractal->m_halfSize};
    // Digits left behind by a change to the double alone are not the centre.
    if (DigitsHold(m_fractal->m_centerXDigits, place.x))
        place.xDigits = m_fractal->m_centerXDigits;
    if (DigitsHold(m_fractal->m_centerYDigits, place.y))
        place.yDigits = m_fractal->m_centerYDigits;
    return place;
}

void CFractal_Doc::ResetHistory()
{
    m_undo.clear();
    m_back.clear();
    m_forward.clear();
    m_committedRows = m_fractal ? WriteRows(m_fractalType, *m_fractal) : QString();
    m_committedPlace = FractalPlace();
    m_committedKind = m_fractal ? m_fractal->m_kind : -1;
    m_imagePlace.reset();
}

void CFractal_Doc::RecordChange(const QString& label, bool history)
{
    if (IsBuilding() || !m_fractal || m_restoring)
        return;
    const QString now = RowsText();
    if (now == m_committedRows)
        return;
    const ViewPlace place = FractalPlace();
    if (m_fractal->m_kind != m_committedKind) {
        // Views of another kind of set mean nothing to this one.
        m_back.clear();
        m_forward.clear();
    } else if (history && CanNavigate() && !(place == m_committedPlace)) {
        m_back.push_back(m_committedPlace);
        m_forward.clear();
    }
    auto* step = new RowsChange(this, m_committedRows, now, label, true);
    m_committedRows = now;
    m_committedPlace = place;
    m_committedKind = m_fractal->m_kind;
    m_undo.push(step);
}

bool CFractal_Doc::LoadRows(const QString& text)
{
    std::istringstream in(text.toStdString());
    LoadedDocument loaded = ReadDocumentFile(in);
    if (!loaded.fractal)
        return false;
    m_fractalType = loaded.fractalType;
    SetFractal(std::move(loaded.fractal));
    SetTitle(QString::fromStdString(m_fractal->m_name));
    m_committedRows = WriteRows(m_fractalType, *m_fractal);
    m_committedPlace = FractalPlace();
    m_committedKind = m_fractal->m_kind;
    return true;
}

void CFractal_Doc::RestoreRows(const QString& text)
{
    if (IsBuilding()) {
        // The rows belong to the worker until it ends.
        m_pendingRows = text;
        m_pendingPlace.reset();
        OnStop();
        return;
    }
    m_restoring = true;
    const bool loaded = LoadRows(text);
    if (loaded) {
        emit placeChanged();
        OnBuild(kCmdRebuild);
    }
    m_restoring = false;
}

bool CFractal_Doc::PasteRows(const QString& text, QString& error)
{
    std::istringstream in(text.toStdString());
    LoadedDocument loaded;
    if (text.startsWith("Fractal Type="))
        loaded = ReadDocumentFile(in);
    if (!loaded.fractal) {
        error = "The clipboard does not hold fractal parameters: a \".frc\" document begins with "
                "\"Fractal Type=\" and names a kind of fractal.";
        return false;
    }
    if (!IsBuilding())
        RecordChange("Change");
    m_undo.push(new RowsChange(this, m_committedRows, WriteRows(loaded.fractalType, *loaded.fractal),
                               "Paste Parameters", false));
    return true;
}

bool CFractal_Doc::CanNavigate() const
{
    return m_fractal && AbilitiesOf(*m_fractal).zoomAndPan;
}

ViewPlace CFractal_Doc::CurrentPlace() const
{
    if (m_pendingPlace)
        return *m_pendingPlace;
    return IsBuilding() ? m_buildPlace : FractalPlace();
}

void CFractal_Doc::MoveTo(const ViewPlace& place, const QString& label) { MoveNow(place, label, true); }

void CFractal_Doc::MoveNow(const ViewPlace& place, const QString& label, bool history)
{
    if (!CanNavigate() || m_closePending)
        return;
    if (IsBuilding()) {
        // An animation is not a view to move.
        if (m_jobRunning)
            return;
        m_pendingPlace = place;
        m_pendingLabel = label;
        m_pendingHistory = history;
        OnStop();
        emit placeChanged();
        return;
    }
    m_fractal->m_centerX = place.x;
    m_fractal->m_centerY = place.y;
    m_fractal->m_halfSize = place.half;
    // Only kinds that build past doubles carry the digits in their rows.
    const bool whole = AbilitiesOf(*m_fractal).deepViews;
    m_fractal->m_centerXDigits = whole ? place.xDigits : std::string();
    m_fractal->m_centerYDigits = whole ? place.yDigits : std::string();
    RecordChange(label, history);
    // A zoom rectangle left on the screen belongs to the old view.
    m_canvas->ShowSelection(false);
    emit placeChanged();
    OnBuild(kCmdRebuild);
}

void CFractal_Doc::StepHistory(std::vector<ViewPlace>& from, std::vector<ViewPlace>& to, const QString& label)
{
    if (from.empty() || !CanNavigate() || (IsBuilding() && m_jobRunning))
        return;
    const ViewPlace target = from.back();
    from.pop_back();
    to.push_back(CurrentPlace());
    MoveNow(target, label, false);
}

void CFractal_Doc::GoBack() { StepHistory(m_back, m_forward, "Back"); }
void CFractal_Doc::GoForward() { StepHistory(m_forward, m_back, "Forward"); }

void CFractal_Doc::AfterBuild()
{
    if (m_pendingRows) {
        m_buildChange.clear();
        const QString rows = *m_pendingRows;
        m_pendingRows.reset();
        m_pendingPlace.reset();
        RestoreRows(rows);
        return;
    }
    // A deep view may have raised its count: the rows take it, as part of
    // the step that asked for the build.
    if (m_fractal && m_fractal->AdoptBuildChoices() && IsShownInParameters())
        ParametersHost::s_host->RefreshValues();
    // A zoom rectangle moves the view inside the build: a step of its own.
    // Other changes a build makes (maps brought to their normal form) only
    // complete the step that asked for the build.
    const QString named = std::exchange(m_buildChange, QString());
    if (m_fractal && !(FractalPlace() == m_committedPlace))
        RecordChange("Zoom");
    else if (!named.isEmpty())
        RecordChange(named);
    else if (m_fractal && !IsBuilding())
        m_committedRows = RowsText();
    if (m_pendingPlace) {
        const ViewPlace place = *m_pendingPlace;
        m_pendingPlace.reset();
        MoveNow(place, m_pendingLabel, m_pendingHistory);
    }
}

QTransform CFractal_Doc::PreviewTransform(QSize size) const
{
    if (!m_imagePlace || !CanNavigate() || !m_deviceBitmap.HasBitmap())
        return {};
    const ViewPlace now = CurrentPlace();
    if (now == *m_imagePlace)
        return {};
    const QSize shown(m_deviceBitmap.m_bitmapWidth, m_deviceBitmap.m_bitmapHeight);
    return ::PreviewTransform(*m_imagePlace, shown, now, size);
}
