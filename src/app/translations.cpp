#include "translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace {
bool install(QCoreApplication *app, const QLocale &locale, const QString &name, const QString &directory)
{
    auto *translator = new QTranslator(app);
    if (!translator->load(locale, name, QStringLiteral("_"), directory)) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    return true;
}
} // namespace

bool installTranslators(QCoreApplication *app, const QLocale &locale)
{
    install(app, locale, QStringLiteral("qtbase"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    return install(app, locale, QStringLiteral("zorbix"), QStringLiteral(":/zorbix/i18n"));
}
