#pragma once
// Focus by mouse as by keyboard. The screens select a field's whole text when
// the focus arrives (so that what is typed next replaces it); a click would
// then put the caret where the mouse is and undo that. With this, the click
// that brings the focus into a field leaves its whole text selected, and so
// does a click into a masked field that has the focus with nothing typed in
// it or all of it selected; any other click inside a field that already has
// the focus places the caret as usual, and a drag selects what it covers.
class QWidget;

class QObject;

namespace fieldfocus {
// For every entry field under screen (editable combo boxes' included).
void selectWholeTextOnClick(QWidget *screen);

// A button pressed by its access key (Alt+S) takes the focus first, as on
// Windows, so the rule of the field being left runs before the command (the
// member's look-up fills the date of birth the save then stores). A rule
// that spoke on the way (a date refused) stops the command: the operator
// reads it, then presses again. For every button under screen.
void buttonsTakeTheFocus(QWidget *screen);

// Moves the focus to a field as the operator would, after a message box
// above all. The box's window gives the focus back with the screen's
// activation, which runs no field rule (isFieldMove), and under a window
// manager the activation comes later than the move: then the rules that
// `rules` (the screen's event filter) keeps for the field left and the field
// reached are run now, as for any move between fields.
void moveTo(QObject *rules, QWidget *to);
}
