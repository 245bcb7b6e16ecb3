#pragma once
// Room on the screen: buttons wide enough for their captions with room on
// either side, whatever the font and the screen's scaling (a caption that
// touches its button's edges reads as cut off), and windows no larger than
// the screen they open on.
class QWidget;

namespace buttonroom {
// Pixels left free on either side of a caption, inside the button's frame.
inline constexpr int kCaptionRoom = 8;
// Gives every push button under screen at least that room for its caption
// as it stands (call it after the captions are set).
void fitCaptions(QWidget *screen);
// Sizes a window to `preferred`, or less where the screen it opens on (at
// its scaling: 1024x768 at 150% leaves 682x512) has less room, its frame
// and the desktop's panels included: every button stays within reach.
void fitToScreen(QWidget *window, int width, int height);
}
