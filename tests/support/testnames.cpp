// Linked into every test: the settings of a test live where the application's would, under the
// test's own XDG_CONFIG_HOME.
#include <QCoreApplication>

namespace {
const bool namesSet = [] {
    QCoreApplication::setOrganizationName(QStringLiteral("quenfold"));
    QCoreApplication::setApplicationName(QStringLiteral("zorbix"));
    return true;
}();
} // namespace
