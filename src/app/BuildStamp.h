#pragma once

// This build's stamp: the compile date as YYYYMMDD and the compile time of day
// in seconds after midnight.
namespace BuildStamp {
int date();
int time();
}
