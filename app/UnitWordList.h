#pragma once

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStringList>
#include <QWidget>
#include <functional>

// The editor of a list of words or phrases looked for in titles: a modeless window of its own,
// one entry a line, that edits a working copy and hands it over on "Применить". "Добавить"
// appends the edit line's text, "Удалить" removes the selected entry, a double click or F2 edits
// an entry in place. Closing it only hides it.
class TFormWordList : public QWidget {
public:
    explicit TFormWordList(QWidget* parent = nullptr);

    // Shows a working copy of words under caption and brings the window to the front; "Применить"
    // hands the copy to apply. Unapplied edits of an earlier opening are dropped.
    void OpenList(const QString& caption, const QStringList& words,
                  std::function<void(const QStringList&)> apply);
    // The working copy, one entry a line.
    QStringList Words() const;

    QListWidget* List;
    QGroupBox* GroupBox1;
    QLineEdit* WordEdit;
    QLabel* Label1;
    QPushButton* Add;
    QPushButton* Del;
    QPushButton* Set;

private:
    void AddClick();
    void DelClick();
    // Appends word as an entry that can be edited in place.
    void Append(const QString& word);

    std::function<void(const QStringList&)> apply;
};
