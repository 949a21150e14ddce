#include "abfoldersview.h"

#include "ui_abfoldersview.h"

ABFoldersView::ABFoldersView(QWidget *parent) : QWidget(parent), m_ui(std::make_unique<Ui::ABFoldersView>())
{
    m_ui->setupUi(this);
}

ABFoldersView::~ABFoldersView() = default;

#include "moc_abfoldersview.cpp"
