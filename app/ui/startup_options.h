// The workbench's switches on the command line. The program adds them to
// its parser before it knows whether the window is wanted (so that --help
// lists them, and a batch run accepts them); startup.cpp acts on them.
#pragma once

#include <QStringList>

class QCommandLineParser;

namespace quillan::ui {

inline const QStringList kRegister{QStringLiteral("register"), QStringLiteral("regserver")};
inline const QStringList kUnregister{QStringLiteral("unregister"), QStringLiteral("unregserver")};
inline const QStringList kEmbedding{QStringLiteral("embedding")};
inline const QStringList kAutomation{QStringLiteral("automation")};
inline const QStringList kService{QStringLiteral("gapplication-service")};

void addStartupOptions(QCommandLineParser& parser);

}  // namespace quillan::ui
