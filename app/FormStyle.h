#pragma once

#include <QWidget>

// The look every window of the program is designed with: the dialog font (10 pixels high, chosen
// so that every designed caption fits its designed width) and the button-face window colour.
void ApplyFormStyle(QWidget* window);
