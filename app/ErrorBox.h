#pragma once

#include <QString>
#include <QWidget>
#include <exception>
#include <functional>
#include <utility>

// The one way failures reach the user: a modal error box titled with the application's title.

// The message as shown: a full stop is appended unless the message is empty or already ends in
// a character that sorts at or below ".".
QString WithFullStop(const QString& message);

// Shows the error box for message (full-stop rule applied) over parent.
void ShowErrorBox(QWidget* parent, const QString& message);

// Replaces how error boxes are shown (tests record them instead of blocking); an empty function
// restores the modal box. Returns the previous presenter.
using ErrorPresenter =
    std::function<void(QWidget* parent, const QString& title, const QString& text)>;
ErrorPresenter SetErrorPresenter(ErrorPresenter presenter);

// Shows the exception in flight (called from a catch block): its message decoded from
// Windows-1251, or an empty message for an exception that carries none.
void ShowCurrentException(QWidget* parent);

// Wraps a handler that takes nothing into a slot for any signal (whose arguments it ignores), so
// that an exception leaving the handler is shown in the error box and goes no further: it must
// never unwind through Qt's event dispatch.
template <typename Handler>
auto Guarded(QWidget* parent, Handler handler) {
    return [parent, handler = std::move(handler)](auto&&...) {
        try {
            handler();
        } catch (...) {
            ShowCurrentException(parent);
        }
    };
}
