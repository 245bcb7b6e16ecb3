#pragma once
// Focus by mouse as by keyboard. The screens select a field's whole text when
// the focus arrives (so that what is typed next replaces it); a click would
// then put the caret where the mouse is and undo that. With this, the click
// that brings the focus into a field leaves its whole text selected; a click
// inside a field that already has the focus places the caret as usual, and
// a drag selects what it covers.
class QWidget;

namespace fieldfocus {
// For every entry field under screen (editable combo boxes' included).
void selectWholeTextOnClick(QWidget *screen);
}
