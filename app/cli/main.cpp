#include "app/cli/CommandLineTool.h"

#include <QGuiApplication>

#include <cstdio>

namespace {

// The terminal is for the command's own output; Qt's notes about the session (such as a missing
// runtime folder) would only get in a script's way. QUILLET_DEBUG brings them back.
void quietMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    static const bool debugging = !qEnvironmentVariableIsEmpty("QUILLET_DEBUG");
    if (debugging || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

} // namespace

int main(int argc, char *argv[])
{
    qInstallMessageHandler(quietMessages);
    // PDF reports need the font machinery of a GUI application, but a terminal program must
    // never open a window or appear in the Dock.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    QGuiApplication::setOrganizationName(QStringLiteral("Marrowby"));
    QGuiApplication::setApplicationName(QStringLiteral("Quillet"));
    QGuiApplication::setApplicationVersion(QStringLiteral(QUILLET_VERSION));

    QTextStream out(stdout);
    QTextStream err(stderr);
    CommandLineTool tool(out, err);
    const int status = tool.run(QCoreApplication::arguments());
    out.flush();
    err.flush();
    return status;
}
