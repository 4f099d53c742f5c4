#include "app/UnitAutorList.h"

#include <QHeaderView>

#include "app/Anchors.h"
#include "app/Cp1251.h"
#include "app/ErrorBox.h"
#include "app/FormStyle.h"

TFormAutorList* FormAutorList = nullptr;

namespace {

constexpr int kColumns = 3;
constexpr int kRowHeight = 16;
// A grid shows at least its header row and one data row, blank for an empty list.
constexpr int kMinRows = 2;
constexpr int kNameColumn = 0;
constexpr int kLinkColumn = 1;
constexpr int kCommentColumn = 2;

// The label of edit, which also names edit for screen readers.
QLabel* MakeLabel(const QString& caption, QRect designed, QLineEdit* edit, QWidget* parent) {
    auto* label = new QLabel(caption, parent);
    label->setGeometry(designed);
    label->setBuddy(edit);
    return label;
}

}  // namespace

TFormAutorList::TFormAutorList(QWidget* parent) : QWidget(parent, Qt::Window) {
    ApplyFormStyle(this);
    setWindowTitle(QStringLiteral("Список авторов"));
    // Only closing the main window ends the program, whether the dialog is shown or not.
    setAttribute(Qt::WA_QuitOnClose, false);
    move(192, 283);
    resize(747, 179);

    using A = TAnchors;
    anchors = new TAnchors(this, size());
    alCells = new TStringGridModel(kColumns, kMinRows, this);
    AL = new TStringGrid(alCells, false, kRowHeight, this);
    AL->SetColWidths({142, 129, 207});
    AL->setAccessibleName(QStringLiteral("Авторы"));
    anchors->Place(AL, {0, 0, 489, 178}, A::akLeft | A::akTop | A::akRight | A::akBottom);

    GroupBox1 = new QGroupBox(QStringLiteral("GroupBox1"), this);
    anchors->Place(GroupBox1, {497, 0, 249, 153}, A::akTop | A::akRight);
    Del = MakeButton(QStringLiteral("Удалить"), {88, 120, 75, 25}, GroupBox1);
    Add = MakeButton(QStringLiteral("Добавить"), {8, 120, 75, 25}, GroupBox1);
    // The edits count characters; the core holds one Windows-1251 byte per character, so each
    // limit is its entry's capacity in bytes.
    NameEdit = MakeLineEdit(int(TAutorInf::kNameCapacity), {8, 32, 113, 21}, GroupBox1);
    Label1 = MakeLabel(QStringLiteral("Имя"), {8, 16, 22, 13}, NameEdit, GroupBox1);
    LinkEdit = MakeLineEdit(int(TAutorInf::kLinkCapacity), {128, 32, 113, 21}, GroupBox1);
    // A Cyrillic С, unlike the grid's header.
    Label2 = MakeLabel(QStringLiteral("Ссылка"), {128, 16, 39, 13}, LinkEdit, GroupBox1);
    Set = MakeButton(QStringLiteral("Применить"), {168, 120, 75, 25}, GroupBox1);
    CommnentEdit = MakeLineEdit(int(TAutorInf::kCommentCapacity), {8, 72, 233, 21}, GroupBox1);
    Label3 = MakeLabel(QStringLiteral("Коментарий"), {8, 56, 62, 13}, CommnentEdit, GroupBox1);

    const QWidget* order[] = {AL, Del, Add, NameEdit, LinkEdit, Set, CommnentEdit};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
        setTabOrder(const_cast<QWidget*>(order[i]), const_cast<QWidget*>(order[i + 1]));
    }

    connect(Del, &QPushButton::clicked, this, Guarded(this, [this] { DelClick(); }));
    connect(Add, &QPushButton::clicked, this, Guarded(this, [this] { AddClick(); }));
    connect(Set, &QPushButton::clicked, this, Guarded(this, [this] { SetClick(); }));
}

void TFormAutorList::OpenList(TAutorList& list) {
    editList = list;
    targetList = &list;
    FillGrid();
    show();
    raise();
    activateWindow();
}

void TFormAutorList::FillGrid() {
    const int entries = int(editList.size());
    alCells->SetRowCount(qMax(entries + 1, kMinRows));
    alCells->SetCell(kNameColumn, 0, QStringLiteral("Имя"));
    // The designed header begins with a Latin C.
    alCells->SetCell(kLinkColumn, 0, QLatin1Char('C') + QStringLiteral("сылка"));
    alCells->SetCell(kCommentColumn, 0, QStringLiteral("Коментарий"));
    for (int col = 0; col < kColumns; ++col) {
        alCells->SetCell(col, 1, QString());
    }
    for (int i = 0; i < entries; ++i) {
        const TAutorInf& entry = editList[std::size_t(i)];
        alCells->SetCell(kNameColumn, i + 1, DecodeCp1251(entry.name));
        alCells->SetCell(kLinkColumn, i + 1, DecodeCp1251(entry.link));
        alCells->SetCell(kCommentColumn, i + 1, DecodeCp1251(entry.comment));
    }
}

void TFormAutorList::AddClick() {
    editList.push_back(TAutorInf::Make(EncodeCp1251(LinkEdit->text()).c_str(),
                                       EncodeCp1251(NameEdit->text()).c_str(),
                                       EncodeCp1251(CommnentEdit->text()).c_str()));
    FillGrid();
}

void TFormAutorList::DelClick() {
    const int entry = AL->Selection().Top - 1;
    if (entry >= 0 && entry < int(editList.size())) {
        editList.erase(editList.begin() + entry);
    }
    FillGrid();
}

void TFormAutorList::SetClick() {
    if (targetList) {
        *targetList = editList;
    }
}
