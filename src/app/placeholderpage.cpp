#include "placeholderpage.h"

#include "pageswap.h"
#include "ui_placeholderpage.h"

PlaceholderPage::PlaceholderPage(const QString &title, const QString &text, const QSize &designedSize,
                                 QWidget *parent)
    : QWidget(parent), ui(std::make_unique<Ui::PlaceholderPage>())
{
    ui->setupUi(this);
    ui->titleLabelOL->setText(title);
    ui->textLabelOL->setText(text);
    resize(designedSize);
    setDesignedPageSize(this, designedSize);
}

PlaceholderPage::~PlaceholderPage() = default;
