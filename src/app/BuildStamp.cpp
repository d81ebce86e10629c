#include "BuildStamp.h"

#include "BuildStampValues.h"

namespace BuildStamp {
int date() { return TABEL_BUILD_DATE; }
int time() { return TABEL_BUILD_TIME; }
}
