// The document's undo steps, view history and navigation.
#include "document/DocumentHistory.h"

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
    RowsChange(DocumentHistory* history, QString before, QString after, const QString& label, bool done)
        : QUndoCommand(label), m_history(history), m_before(std::move(before)), m_after(std::move(after)), m_done(done)
    {}
    void undo() override { m_history->RestoreRows(m_before); }
    void redo() override
    {
        if (m_done) {
            m_done = false;
            return;
        }
        m_history->RestoreRows(m_after);
    }

private:
    DocumentHistory* m_history;
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

ViewPlace PlaceOf(const CFractal* fractal)
{
    if (!fractal)
        return {};
    ViewPlace place{fractal->m_centerX, fractal->m_centerY, fractal->m_halfSize};
    // Digits left behind by a change to the double alone are not the centre.
    if (DigitsHold(fractal->m_centerXDigits, place.x))
        place.xDigits = fractal->m_centerXDigits;
    if (DigitsHold(fractal->m_centerYDigits, place.y))
        place.yDigits = fractal->m_centerYDigits;
    if (SizeDigitsHold(fractal->m_halfSizeDigits, place.half))
        place.halfDigits = fractal->m_halfSizeDigits;
    return place;
}

QString DocumentHistory::RowsText()
{
    if (m_doc.IsBuilding() || !m_doc.m_fractal)
        return m_committedRows;
    return WriteRows(m_doc.m_fractalType, *m_doc.m_fractal);
}

void DocumentHistory::Reset()
{
    const CFractal* fractal = m_doc.m_fractal.get();
    m_undo.clear();
    m_back.clear();
    m_forward.clear();
    m_committedRows = fractal ? WriteRows(m_doc.m_fractalType, *m_doc.m_fractal) : QString();
    m_committedPlace = PlaceOf(fractal);
    m_committedKind = fractal ? fractal->m_kind : -1;
}

void DocumentHistory::BuildStarted() { m_buildPlace = PlaceOf(m_doc.m_fractal.get()); }

void DocumentHistory::RecordChange(const QString& label, bool history)
{
    const CFractal* fractal = m_doc.m_fractal.get();
    if (m_doc.IsBuilding() || !fractal || m_restoring)
        return;
    const QString now = RowsText();
    if (now == m_committedRows)
        return;
    const ViewPlace place = PlaceOf(fractal);
    if (fractal->m_kind != m_committedKind) {
        // Views of another kind of set mean nothing to this one.
        m_back.clear();
        m_forward.clear();
    } else if (history && m_doc.CanNavigate() && !(place == m_committedPlace)) {
        m_back.push_back(m_committedPlace);
        m_forward.clear();
    }
    auto* step = new RowsChange(this, m_committedRows, now, label, true);
    m_committedRows = now;
    m_committedPlace = place;
    m_committedKind = fractal->m_kind;
    m_undo.push(step);
}

bool DocumentHistory::LoadRows(const QString& text)
{
    std::istringstream in(text.toStdString());
    LoadedDocument loaded = ReadDocumentFile(in);
    if (!loaded.fractal)
        return false;
    m_doc.m_fractalType = loaded.fractalType;
    m_doc.SetFractal(std::move(loaded.fractal));
    const CFractal& fractal = *m_doc.m_fractal;
    m_doc.SetTitle(QString::fromStdString(fractal.m_name));
    m_committedRows = WriteRows(m_doc.m_fractalType, *m_doc.m_fractal);
    m_committedPlace = PlaceOf(&fractal);
    m_committedKind = fractal.m_kind;
    return true;
}

void DocumentHistory::RestoreRows(const QString& text)
{
    if (m_doc.IsBuilding()) {
        // The rows belong to the worker until it ends.
        m_pendingRows = text;
        m_pendingPlace.reset();
        m_doc.OnStop();
        return;
    }
    m_restoring = true;
    const bool loaded = LoadRows(text);
    if (loaded) {
        emit m_doc.placeChanged();
        m_doc.OnBuild(kCmdRebuild);
    }
    m_restoring = false;
}

bool DocumentHistory::PasteRows(const QString& text, QString& error)
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
    if (!m_doc.IsBuilding())
        RecordChange("Change");
    m_undo.push(new RowsChange(this, m_committedRows, WriteRows(loaded.fractalType, *loaded.fractal),
                               "Paste Parameters", false));
    return true;
}

ViewPlace DocumentHistory::CurrentPlace() const
{
    if (m_pendingPlace)
        return *m_pendingPlace;
    return m_doc.IsBuilding() ? m_buildPlace : PlaceOf(m_doc.m_fractal.get());
}

void DocumentHistory::MoveNow(const ViewPlace& place, const QString& label, bool history)
{
    if (!m_doc.CanNavigate() || m_doc.IsClosing())
        return;
    if (m_doc.IsBuilding()) {
        // An animation is not a view to move.
        if (m_doc.Worker().JobRunning())
            return;
        m_pendingPlace = place;
        m_pendingLabel = label;
        m_pendingHistory = history;
        m_doc.OnStop();
        emit m_doc.placeChanged();
        return;
    }
    CFractal& fractal = *m_doc.m_fractal;
    fractal.m_centerX = place.x;
    fractal.m_centerY = place.y;
    fractal.m_halfSize = place.half;
    // Only kinds that build past doubles carry the digits in their rows.
    const bool whole = AbilitiesOf(fractal).deepViews;
    fractal.m_centerXDigits = whole ? place.xDigits : std::string();
    fractal.m_centerYDigits = whole ? place.yDigits : std::string();
    fractal.m_halfSizeDigits = whole ? place.halfDigits : std::string();
    RecordChange(label, history);
    // A zoom rectangle left on the screen belongs to the old view.
    m_doc.m_canvas->ShowSelection(false);
    emit m_doc.placeChanged();
    m_doc.OnBuild(kCmdRebuild);
}

void DocumentHistory::StepHistory(std::vector<ViewPlace>& from, std::vector<ViewPlace>& to, const QString& label)
{
    if (from.empty() || !m_doc.CanNavigate() || (m_doc.IsBuilding() && m_doc.Worker().JobRunning()))
        return;
    const ViewPlace target = from.back();
    from.pop_back();
    to.push_back(CurrentPlace());
    MoveNow(target, label, false);
}

void DocumentHistory::AfterBuild()
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
    CFractal* fractal = m_doc.m_fractal.get();
    if (fractal && fractal->AdoptBuildChoices() && m_doc.IsShownInParameters())
        m_doc.Host()->RefreshValues();
    // A zoom rectangle moves the view inside the build: a step of its own.
    // A build or job that named its change (a tile click, the move to a
    // minibrot) is a step of that name, moved view or not. Other changes a
    // build makes (maps brought to their normal form) only complete the
    // step that asked for the build.
    const QString named = std::exchange(m_buildChange, QString());
    if (!named.isEmpty())
        RecordChange(named);
    else if (fractal && !(PlaceOf(fractal) == m_committedPlace))
        RecordChange("Zoom");
    else if (fractal && !m_doc.IsBuilding())
        m_committedRows = RowsText();
    if (m_pendingPlace) {
        const ViewPlace place = *m_pendingPlace;
        m_pendingPlace.reset();
        MoveNow(place, m_pendingLabel, m_pendingHistory);
    }
}
