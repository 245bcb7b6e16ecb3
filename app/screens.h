#pragma once
// Shows each screen at most once: showing one that is open brings that same
// screen forward. Screens are shown without blocking.
class QString;
class QWidget;

namespace screens {
void startMainScreen();
// The program's help file ("<folder>\CTFHelp.chm>main"); F1 on any screen
// opens it with the desktop's viewer, when the file is there.
void setHelpFile(const QString &helpFile);
void showHelp();
QWidget *showMaintenance();
QWidget *showEnquiry();
QWidget *showOutput();
QWidget *showAnnualReturn();
QWidget *showAbout();
QWidget *showMaturities();
// Ends the program at once, without the closing steps of any screen. Tests
// replace it.
void endProgram();
void setEndProgramHandler(void (*handler)());
}
