#include "parameters/GridFrame.h"

#include <QFontDatabase>
#include <QFontMetrics>

CGridFrame::CGridFrame(QWidget* parent) : QFrame(parent), m_grid(new CPropertyGrid(this))
{
    setObjectName("138");
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setFocusPolicy(Qt::TabFocus);
    m_grid->setObjectName("373");
    m_grid->m_frame = this;
    m_grid->Header()->setObjectName("337");
    m_grid->Header()->m_fitTo = this;
    // The grid keeps its own total width up to date.
    connect(m_grid->Header(), &QHeaderView::sectionResized, this, [this] { UpdateExtent(); });
}

void CGridFrame::Initialise()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    m_grid->m_font = font;
    CGridHeader* header = m_grid->Header();
    header->setFont(font);
    header->SetHeight(QFontMetrics(font).height() + 4);
    m_initialised = true;
    m_grid->FitToFrame();
}

void CGridFrame::UpdateExtent()
{
    m_grid->m_hOffset = 0;
    m_grid->viewport()->update();
}

void CGridFrame::resizeEvent(QResizeEvent* e)
{
    QFrame::resizeEvent(e);
    if (!m_initialised)
        return;
    m_grid->EndEdit();
    CGridHeader* header = m_grid->Header();
    header->m_fitEnabled = true;
    header->FitColumns(-1, 0);
    m_grid->FitToFrame();
    UpdateExtent();
}

void CGridFrame::moveEvent(QMoveEvent* e)
{
    QFrame::moveEvent(e);
    if (!m_initialised)
        return;
    m_grid->EndEdit();
    m_grid->FitToFrame();
}
