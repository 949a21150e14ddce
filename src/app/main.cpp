#include "images.h"
#include "singleinstance.h"
#include "startupreport.h"
#include "systemlog.h"
#include "translations.h"
#include "vcardsharingcontroller.h"
#include "viewerwindow.h"
#include "widgetplatformhooks.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QSocketNotifier>
#include <QTimer>
#include <QUrl>

#include <csignal>
#include <string_view>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int signalPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

// SIGTERM and SIGINT end the event loop like File > Quit, so the application shuts down cleanly.
void quitOnTerminationSignals(QApplication &app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app] {
        char byte;
        [[maybe_unused]] const ssize_t got = ::read(signalPipe[0], &byte, 1);
        app.quit();
    });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

void describeApplication()
{
    QCoreApplication::setOrganizationName(QStringLiteral("quenfold"));
    QCoreApplication::setApplicationName(QStringLiteral("zorbix"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZORBIX_VERSION));
}

// Answers --help and --version itself (and ends the program); vCard files are the arguments.
void parseArguments(QCommandLineParser &parser, const QCoreApplication &app)
{
    parser.setApplicationDescription(
        QCoreApplication::translate("main", "Shares address books on the local network."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QCoreApplication::translate("main", "files"),
                                 QCoreApplication::translate("main", "vCard files to import."),
                                 QStringLiteral("[FILE.vcf...]"));
    parser.process(app);
}

// The files to import: paths, or file: URLs as some launchers pass them.
QStringList filesToImport(const QCommandLineParser &parser)
{
    QStringList paths;
    for (const QString &argument : parser.positionalArguments()) {
        const QUrl url(argument);
        paths.append(url.isLocalFile() ? url.toLocalFile() : argument);
    }
    return paths;
}
} // namespace

int main(int argc, char *argv[])
{
    // A file-size limit (ulimit -f) must fail the write that crosses it (EFBIG, reported like a full
    // disk), not end the program in silence.
    std::signal(SIGXFSZ, SIG_IGN);
    // --help and --version need no display: they are answered before the window system is opened.
    for (int i = 1; i < argc && std::string_view(argv[i]) != "--"; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "-h" || arg == "--help" || arg == "--help-all" || arg == "-v" || arg == "--version") {
            QCoreApplication info(argc, argv);
            describeApplication();
            installTranslators(&info);
            QCommandLineParser parser;
            parseArguments(parser, info); // prints and ends the program
        }
    }

    QApplication app(argc, argv);
    describeApplication();
    installTranslators(&app);
    QApplication::setDesktopFileName(QStringLiteral("org.quenfold.zorbix"));
    QApplication::setWindowIcon(imageNamed(QStringLiteral("NSApplicationIcon")));
    QCommandLineParser parser;
    parseArguments(parser, app);

    // A copy already runs: it takes the files (or just comes to the front), and this one ends.
    const QStringList files = filesToImport(parser);
    SingleInstance instance(QApplication::desktopFileName());
    if (!instance.registerAsRunningCopy() && instance.handOver(files))
        return 0;

    WidgetPlatformHooks hooks;
    PlatformHooks::install(&hooks);
    quitOnTerminationSignals(app);

    // The window shows at once; the address book is read behind it.
    vCardSharingController controller(vCardSharingController::StoreLoading::Behind);
    QWidget *window = controller.window();
    StartupReport::installIfAsked(controller);
    window->show();
    const auto raise = [window] {
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
        window->show();
        window->raise();
        window->activateWindow();
    };
    QObject::connect(&instance, &SingleInstance::activated, window, raise);
    QObject::connect(&instance, &SingleInstance::filesOpened, &controller,
                     [&controller](const QStringList &paths) { controller.importFiles(paths); });
    // Once the window is up, so that the progress and the summary have it to stand on.
    if (!files.isEmpty())
        QTimer::singleShot(0, &controller, [&controller, files] { controller.importFiles(files); });
    const int result = app.exec();
    PlatformHooks::install(nullptr);
    return result;
}
