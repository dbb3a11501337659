// The program takes no arguments of its own; QApplication sees only Qt's own options.
#include "platform/termination.h"
#include "qt/startup.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    klar::InstallTerminationHandlers();
    QApplication application(argc, argv);
    klar::app::ConfigureApplication(application);
    klar::app::Module1 program;
    klar::app::Main(program);
    klar::app::EndOnTermination(program);
    klar::app::RemoveInterruptedJobLeftovers(program);
    return QApplication::exec();
}
