#include "RunUnder.h"

#include <QVector>
#include <QtGlobal>
#include <unistd.h>

void runUnder(const char *script, const QByteArrayList &options, int argc, char *argv[])
{
    const QByteArray path = QByteArray(TABEL_SOURCE_DIR) + "/scripts/" + script;
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        qFatal("where is this program?");
    self[n] = 0;
    QByteArrayList words = options;
    words << "--create-db" << "tabel_template" << self;
    for (int i = 1; i < argc; ++i)
        words << argv[i];
    QVector<char *> args{const_cast<char *>(path.constData())};
    for (QByteArray &w : words)
        args << w.data();
    args << nullptr;
    execv(path.constData(), args.data());
    qFatal("cannot run %s", path.constData());
}
