#include "app/ui/startup_options.h"

#include <QCommandLineParser>

namespace quillan::ui {

void addStartupOptions(QCommandLineParser& parser) {
    parser.addOption({kRegister, QStringLiteral("Register the program's application identifier and type library, then exit.")});
    parser.addOption({kUnregister, QStringLiteral("Remove the program's registration, then exit.")});
    parser.addOption({kEmbedding, QStringLiteral("Serve Quillan.Canvas to other programs without a window; ends when "
                                                 "the last client lets go (the program is started so by them).")});
    parser.addOption({kAutomation, QStringLiteral("The same as --embedding.")});
    parser.addOption({kService, QStringLiteral("Answer for io.quillan.Quillan on the session bus, as the bus starts the "
                                               "program (D-Bus activation): the window shows when asked to open files "
                                               "or to activate.")});
}

}  // namespace quillan::ui
