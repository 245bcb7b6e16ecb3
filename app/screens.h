#pragma once
// Shows each screen at most once: showing one that is open brings that same
// screen forward. Screens are shown without blocking.
class QWidget;

namespace screens {
void startMainScreen();
QWidget *showMaintenance();
QWidget *showEnquiry();
QWidget *showOutput();
QWidget *showAnnualReturn();
QWidget *showAbout();
// Ends the program at once, without the closing steps of any screen. Tests
// replace it.
void endProgram();
void setEndProgramHandler(void (*handler)());
}
