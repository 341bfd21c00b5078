// Clipdeck: the defaults are registered first, then the application object, the one-program
// check, the controller and its window; launching ends on the first pass of the event loop.
#include "app/AppController.h"
#include "app/CKClipdeckWindow.h"
#include "app/CKSingleInstance.h"
#include "app/CKTerminationSignals.h"
#include "app/ClipdeckApplication.h"
#include "app/ClipdeckDefaults.h"

#include "platform/StandardPaths.h"

#include <cstdio>

int main(int argc, char** argv)
{
    ClipdeckRegisterDefaults();
    ClipdeckApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Clipdeck"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CLIPDECK_VERSION));

    // What is left on the command line once Qt took its own options: files to open.
    QStringList paths;
    for (int i = 1; i < argc; ++i)
        paths.append(QString::fromLocal8Bit(argv[i]));

    CKSingleInstance instance(StandardPaths::applicationSupportFolder());
    QString error;
    switch (instance.claimOrHandOver(paths, &error)) {
    case CKSingleInstance::HandedOver:
        return 0;
    case CKSingleInstance::Failed:
        std::fprintf(stderr, "clipdeck: %s\n", qPrintable(error));
        return 1;
    case CKSingleInstance::Primary:
        break;
    }

    CKTerminationSignals signalWatcher(
        [&application](int) { application.terminate(TerminationRequest::Signal); });
    AppController controller;
    application.setDelegate(&controller);
    controller.awakeFromNib();

    const auto openFiles = [&controller](const QStringList& files) {
        if (files.isEmpty() && controller.mainWindow()) {
            controller.mainWindow()->show();
            controller.mainWindow()->raise();
            controller.mainWindow()->activateWindow();
        }
        controller.openFiles(files);
    };
    QObject::connect(&instance, &CKSingleInstance::pathsReceived, &controller, openFiles);
    QMetaObject::invokeMethod(
        &application,
        [&application, openFiles, paths] {
            application.finishLaunching();
            if (!paths.isEmpty())
                openFiles(paths);
        },
        Qt::QueuedConnection);
    return application.exec();
}
