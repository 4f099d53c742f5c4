#pragma once

#include <QListWidget>
#include <functional>

// A list of tickable items laid out in a fixed number of columns. onClickCheck runs only when
// the user ticks or unticks an item; the program's ticks, removals and appends raise nothing.
class TCheckListBox : public QListWidget {
public:
    TCheckListBox(int columns, int itemHeight, QWidget* parent);

    void Clear();
    void AddItem(const QString& text);
    int Count() const { return count(); }
    // index must be 0..Count()-1.
    QString ItemText(int index) const;
    bool Checked(int index) const;
    void SetChecked(int index, bool checked);

    std::function<void()> onClickCheck;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void UpdateGrid();

    int columns;
    int itemHeight;
    int programChanges = 0;  // > 0 while the program itself changes items
};
