#pragma once
#include <QString>
#include <QStringList>

// What the command line asks for. Read from the raw arguments before the
// application object exists, so that --help and --version need no display.
namespace CommandLine {

enum class Action {
    Run,     // start the program
    Help,    // print the usage and exit 0
    Version, // print the build stamp and exit 0
    Refuse   // an unknown option: usage on stderr, exit 2
};

struct Parsed {
    Action action = Action::Run;
    QStringList positional; // database and server, in order
    bool maintenance = false;
    bool reportsFromStandby = false; // reports read through a connection that prefers a standby
    QString unknown; // the refused option
};

// arguments: the program name first. Qt's own options (-platform, -style...)
// are left for QApplication and are neither refused nor positional.
Parsed parse(const QStringList &arguments);

QString usage();       // Russian and English
QString versionText(); // program version and build stamp

// Prints what a Help, Version or Refuse result asks for and returns the exit
// code; returns -1 for Run.
int answer(const Parsed &parsed);

} // namespace CommandLine
