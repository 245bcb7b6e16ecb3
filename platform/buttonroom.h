#pragma once
// Buttons wide enough for their captions with room on either side, whatever
// the font and the screen's scaling: a caption that touches its button's
// edges reads as cut off.
class QWidget;

namespace buttonroom {
// Pixels left free on either side of a caption, inside the button's frame.
inline constexpr int kCaptionRoom = 8;
// Gives every push button under screen at least that room for its caption
// as it stands (call it after the captions are set).
void fitCaptions(QWidget *screen);
}
