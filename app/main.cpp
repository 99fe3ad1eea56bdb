// Every start is an independent copy of the program: there is no single-instance check.
#include <cstdlib>

#include "app/main_app.h"

int main(int argc, char* argv[]) {
  CMainApp app(argc, argv);
  return app.InitInstance() ? CMainApp::exec() : EXIT_SUCCESS;
}
