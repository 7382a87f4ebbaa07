#pragma once
// A document's undo steps, its back and forward view history, and the
// moves of its view.
//
// Every change of the fractal is recorded as its rows' text (as the
// document file writes them) before and after; the stack's clean state is
// the file's. While a build runs the rows belong to the worker: what is
// asked meanwhile (a move, rows to put back) waits here until it has ended.

#include <QString>
#include <QUndoStack>

#include <optional>
#include <vector>

#include "document/ViewPlace.h"

class CFractal;
class CFractal_Doc;

// The view a fractal's rows hold: centre, whole digits where they still
// round to it, and size. Empty without a fractal.
ViewPlace PlaceOf(const CFractal* fractal);

class DocumentHistory {
public:
    explicit DocumentHistory(CFractal_Doc& doc) : m_doc(doc) {}

    QUndoStack* UndoStack() { return &m_undo; }
    bool IsModified() const { return !m_undo.isClean(); }
    void MarkSaved() { m_undo.setClean(); }
    // Forgets the undo steps and history: a document opened afresh.
    void Reset();

    // The rows as the document file writes them: now when idle, else as
    // they were when the build started.
    QString RowsText();
    // Makes a change made to the fractal since the last record one undoable
    // step named `label`; a change of view also goes into the view history
    // unless `history` is false. Does nothing while a build runs.
    void RecordChange(const QString& label, bool history = true);
    // Names the step of what the next build changes in the rows (a tile
    // click is taken by the build).
    void NameBuildChange(const QString& label) { m_buildChange = label; }
    // Puts the fractal that `text` describes in place and rebuilds; while a
    // build runs, stops it and does so when it has ended.
    void RestoreRows(const QString& text);
    // ".frc" text pasted into the document as one undoable step; false with
    // the reason when the text is not a fractal document.
    bool PasteRows(const QString& text, QString& error);

    // The view the document is going to: a pending move, else the running
    // build's, else the fractal's.
    ViewPlace CurrentPlace() const;
    // Moves the view and builds at once; a running build is stopped and
    // the newest move is built when it has ended, so quick moves coalesce.
    void MoveTo(const ViewPlace& place, const QString& label) { MoveNow(place, label, true); }
    bool CanGoBack() const { return !m_back.empty(); }
    bool CanGoForward() const { return !m_forward.empty(); }
    void GoBack() { StepHistory(m_back, m_forward, "Back"); }
    void GoForward() { StepHistory(m_forward, m_back, "Forward"); }

    // A build or job starts from the fractal's view as it is now.
    void BuildStarted();
    // After a build: records what it changed, then loads or moves to what
    // was asked meanwhile and builds that.
    void AfterBuild();

private:
    bool LoadRows(const QString& text);
    void MoveNow(const ViewPlace& place, const QString& label, bool history);
    void StepHistory(std::vector<ViewPlace>& from, std::vector<ViewPlace>& to, const QString& label);

    CFractal_Doc& m_doc;
    QUndoStack m_undo;
    QString m_committedRows;
    ViewPlace m_committedPlace;
    int m_committedKind = -1;
    std::vector<ViewPlace> m_back, m_forward;
    // Asked while a build ran; done when it has ended.
    std::optional<ViewPlace> m_pendingPlace;
    QString m_pendingLabel;
    bool m_pendingHistory = true;
    std::optional<QString> m_pendingRows;
    QString m_buildChange;
    // Set while undo or redo puts rows in place: an edit the Properties bar
    // commits as it lets go of the old fractal is not a step of its own.
    bool m_restoring = false;
    // The view the running build started from.
    ViewPlace m_buildPlace;
};
