#include "app/NewFractalDlg.h"

#include <QDialogButtonBox>
#include <QListWidget>
#include <QVBoxLayout>

#include "document/Pictures.h"
#include "model/FractalKinds.h"

CNewFractalDlg::CNewFractalDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle("New Fractal");
    m_list = new QListWidget;
    m_list->setObjectName("1007");
    m_list->setViewMode(QListView::IconMode);
    m_list->setIconSize(QSize(32, 32));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setMovement(QListView::Static);
    m_list->setResizeMode(QListView::Adjust);
    m_list->setGridSize(QSize(110, 70));
    m_list->setWordWrap(true);
    for (const FractalKind* kind : FractalKinds())
        m_list->addItem(new QListWidgetItem(KindPicture(kind->type), kind->name));
    m_list->setCurrentRow(1);
    connect(m_list, &QListWidget::itemDoubleClicked, this, [this] { accept(); });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &CNewFractalDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addWidget(buttons);
    resize(300, 260);
}

void CNewFractalDlg::accept()
{
    const QList<QListWidgetItem*> selected = m_list->selectedItems();
    m_selectedRow = selected.isEmpty() ? -1 : m_list->row(selected.front());
    QDialog::accept();
}
