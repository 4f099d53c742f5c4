#pragma once

#include <QWidget>

// The look every window of the program is designed with: the dialog font (10 pixels high, chosen
// so that every designed caption fits its designed width) and the button-face window colour.
void ApplyFormStyle(QWidget* window);

class QCoreApplication;
class QLineEdit;
class QPushButton;

// A button of caption at its designed place in parent.
QPushButton* MakeButton(const QString& caption, QRect designed, QWidget* parent);
// A one-line edit at its designed place in parent that holds at most maxLength characters; a
// line break that comes in with pasted or set text becomes a space.
QLineEdit* MakeLineEdit(int maxLength, QRect designed, QWidget* parent);

// Qt's own texts (the buttons of message boxes, the file dialog) in Russian like the program's,
// from the system's Qt translations; where they are not installed, those texts stay English.
void InstallRussianQtTexts(QCoreApplication& application);
