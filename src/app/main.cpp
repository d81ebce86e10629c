#include "Application.h"
#include "Startup.h"

int main(int argc, char **argv)
{
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
