#pragma once

class QWidget;

namespace torvel {

/// The keys every Torvel window closes with: Escape and the desktop's close keys (Ctrl+W, Ctrl+F4).
namespace WindowKeys {

/// Lets `window` close with Escape and Ctrl+W. A dialog is rejected (its own Escape already does that);
/// another window is closed. Neither fires while a pop-up of the window (an open list) has the keys, nor
/// does Escape when a control of the window uses it.
void closeOnEscape(QWidget* window);

}  // namespace WindowKeys

}  // namespace torvel
