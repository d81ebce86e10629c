# Writes the build date (YYYYMMDD) and the time of day in seconds after midnight.
string(TIMESTAMP D "%Y%m%d")
string(TIMESTAMP H "%H")
string(TIMESTAMP M "%M")
string(TIMESTAMP S "%S")
math(EXPR T "${H} * 3600 + ${M} * 60 + ${S}")
# strip leading zeros handled by math above; D has none
set(content "#pragma once\n#define TABEL_BUILD_DATE ${D}\n#define TABEL_BUILD_TIME ${T}\n")
# Runs only when a source changed: always written, so the file is newer than
# the sources and the next build finds it up to date.
file(WRITE "${OUT}" "${content}")
