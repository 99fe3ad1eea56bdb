#include "app/main_app.h"

#include <QEventLoop>
#include <QIcon>
#include <QSocketNotifier>
#include <csignal>

#include "logging/signal_pipe.h"
#include "ui/redirect_dlg.h"

// Outside any namespace, as the resource macro requires; the resources live in a static library.
static void RegisterResources() { Q_INIT_RESOURCE(resources); }

namespace {

QIcon ProgramIcon() {
  RegisterResources();
  QIcon icon;
  for (int size : {16, 24, 32, 48, 128}) {
    icon.addFile(QStringLiteral(":/icons/corvessa-%1.png").arg(size), QSize(size, size));
  }
  return icon;
}

}  // namespace

CMainApp::CMainApp(int& argc, char** argv) : QApplication(argc, argv) {
  // The same names as the settings folder: $XDG_CONFIG_HOME/Vantreck Software/Corvessa.
  setOrganizationName(QStringLiteral("Vantreck Software"));
  setApplicationName(QStringLiteral("Corvessa"));
  setApplicationVersion(QStringLiteral(CORVESSA_VERSION));
  setDesktopFileName(QStringLiteral(CORVESSA_APP_ID));
  setWindowIcon(ProgramIcon());
}

bool CMainApp::InitInstance() {
  // Installed before any port opens: from then on a signal can end the program cleanly.
  QSocketNotifier quitSignal(signal_pipe::Install({SIGTERM, SIGINT, SIGHUP}),
                            QSocketNotifier::Read);
  CRedirectDlg dialog;
  QObject::connect(&quitSignal, &QSocketNotifier::activated, &dialog, [&dialog] {
    signal_pipe::Take();
    dialog.QuitWithoutQuestion();
  });
  // The desktop session ends the application: nobody is there to answer a question.
  QObject::connect(this, &QCoreApplication::aboutToQuit, &dialog,
                   [&dialog] { dialog.QuitWithoutQuestion(); });
  // Shown as an ordinary window rather than run modally, which would make it a modal dialog
  // for the desktop; how it ended does not matter: closing it ends the program.
  QEventLoop untilClosed;
  QObject::connect(&dialog, &QDialog::finished, &untilClosed, &QEventLoop::quit);
  dialog.show();
  untilClosed.exec();
  return false;
}
