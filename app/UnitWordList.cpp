#include "app/UnitWordList.h"

#include "app/Anchors.h"
#include "app/ErrorBox.h"
#include "app/FormStyle.h"

namespace {

// An entry is a short phrase; a longer one is a pasting slip.
constexpr int kMaxEntryLength = 200;

}  // namespace

TFormWordList::TFormWordList(QWidget* parent) : QWidget(parent, Qt::Window) {
    ApplyFormStyle(this);
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(497, 179);

    using A = TAnchors;
    auto* anchors = new TAnchors(this, size());
    List = new QListWidget(this);
    List->setAccessibleName(QStringLiteral("Слова"));
    List->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    anchors->Place(List, {0, 0, 241, 178}, A::akLeft | A::akTop | A::akRight | A::akBottom);

    GroupBox1 = new QGroupBox(this);
    anchors->Place(GroupBox1, {249, 0, 249, 153}, A::akTop | A::akRight);
    WordEdit = MakeLineEdit(kMaxEntryLength, {8, 32, 233, 21}, GroupBox1);
    Label1 = new QLabel(QStringLiteral("Слово или фраза"), GroupBox1);
    Label1->setGeometry(8, 16, 233, 13);
    Label1->setBuddy(WordEdit);
    Add = MakeButton(QStringLiteral("Добавить"), {8, 120, 75, 25}, GroupBox1);
    Del = MakeButton(QStringLiteral("Удалить"), {88, 120, 75, 25}, GroupBox1);
    Set = MakeButton(QStringLiteral("Применить"), {168, 120, 75, 25}, GroupBox1);

    const QWidget* order[] = {List, WordEdit, Add, Del, Set};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
        setTabOrder(const_cast<QWidget*>(order[i]), const_cast<QWidget*>(order[i + 1]));
    }
    connect(Add, &QPushButton::clicked, this, Guarded(this, [this] { AddClick(); }));
    connect(WordEdit, &QLineEdit::returnPressed, this, Guarded(this, [this] { AddClick(); }));
    connect(Del, &QPushButton::clicked, this, Guarded(this, [this] { DelClick(); }));
    connect(Set, &QPushButton::clicked, this, Guarded(this, [this] {
                if (apply) {
                    apply(Words());
                }
            }));
}

void TFormWordList::OpenList(const QString& caption, const QStringList& words,
                             std::function<void(const QStringList&)> onApply) {
    setWindowTitle(caption);
    apply = std::move(onApply);
    List->clear();
    for (const QString& word : words) {
        Append(word);
    }
    WordEdit->clear();
    show();
    raise();
    activateWindow();
}

QStringList TFormWordList::Words() const {
    QStringList words;
    for (int i = 0; i < List->count(); ++i) {
        words << List->item(i)->text();
    }
    return words;
}

void TFormWordList::AddClick() {
    const QString word = WordEdit->text();
    if (word.isEmpty()) {
        return;
    }
    Append(word);
    WordEdit->clear();
}

void TFormWordList::Append(const QString& word) {
    auto* item = new QListWidgetItem(word, List);
    item->setFlags(item->flags() | Qt::ItemIsEditable);
}

void TFormWordList::DelClick() {
    delete List->currentItem();
}
