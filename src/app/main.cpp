#include "Application.h"
#include "CommandLine.h"
#include "Startup.h"

int main(int argc, char **argv)
{
    // --help, --version and a refused option end here: no display, no connection.
    QStringList raw;
    for (int i = 0; i < argc; ++i)
        raw << QString::fromLocal8Bit(argv[i]);
    const int answered = CommandLine::answer(CommandLine::parse(raw));
    if (answered >= 0)
        return answered;

    useRussianLocale();
    Application app(argc, argv);
    int rc = 0;
    try {
        auto ctx = startUp(QCoreApplication::arguments());
        if (!ctx->connected)
            return 1;
        rc = runProgram(*ctx);
    } catch (const std::exception &e) {
        reportException(e);
        return 1;
    }
    return rc;
}
