#pragma once
#include <QApplication>

// Catches a failing statement anywhere in an event handler, shows the
// database's text, and lets the program go on; the action ends there.
class Application : public QApplication {
    Q_OBJECT
public:
    Application(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};

// Shows an exception that escaped an action (the standard error report).
void reportException(const std::exception &e);
