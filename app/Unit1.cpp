#include "app/Unit1.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeySequence>
#include <QLineEdit>
#include <QMessageBox>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QShortcut>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <memory>

#include "app/Anchors.h"
#include "app/CheckBox.h"
#include "app/Cp1251.h"
#include "app/DownloadProgress.h"
#include "app/ErrorBox.h"
#include "app/FileError.h"
#include "app/FormStyle.h"
#include "app/HistoryService.h"
#include "app/RecordTableModel.h"
#include "app/TableMenu.h"
#include "app/UnitAutorList.h"
#include "app/UnitWordList.h"
#include "catalogue/Unitfolianta_genres.h"
#include "filter/Unitfilter.h"
#include "net/UnitHttp_texts.h"
#include "util/Unitutils.h"
#include "util/Unitutils_file.h"

CFolianta catalogue;
TForm1* Form1 = nullptr;

namespace {

constexpr const char* kStartPage = "short.shtml";
constexpr const char* kLocalPage = "H:\\long.shtml";
constexpr const char* kSettingsFile = "Settings.ini";
constexpr const char* kSettingsSaveFailed = "Не удалось сохранить настройки в";
constexpr const char* kSettingsReadFailed = "Не удалось прочитать настройки из";
// Added below GroupBox1's bottom to form the window's minimum height.
constexpr int kMinHeightMargin = 8;
constexpr int kTableRowHeight = 16;
constexpr int kGenreItemHeight = 13;
constexpr int kGenreColumns = 3;
// The table's designed rectangle, and the height the find line takes of it when open.
constexpr QRect kTable1Rect{8, 8, 712, 320};
constexpr int kFindHeight = 21;
constexpr int kFindGap = 3;
constexpr int kStretch =
    TAnchors::akLeft | TAnchors::akTop | TAnchors::akRight | TAnchors::akBottom;

std::unique_ptr<CBaseFilter> SizeBound(const QLineEdit* edit, bool lessThan) {
    return std::make_unique<CFilterCMP>(EncodeCp1251(edit->text()).c_str(), TZRecord::kSize,
                                        lessThan, true);
}

std::unique_ptr<CBaseFilter> Contains(const char* pattern, TZRecord::Field field) {
    auto leaf = std::make_unique<CFilterInside>(true);
    leaf->SetPattern(pattern, field);
    return leaf;
}

// Passes the records whose author link contains the link of at least one entry (lmAny), or of
// no entry (lmNone).
std::unique_ptr<CBaseFilter> AuthorCondition(const TAutorList& list, int mode) {
    TFilterChildren leaves;
    for (const TAutorInf& entry : list) {
        leaves.push_back(Contains(entry.link, TZRecord::kAutorLink));
    }
    return MakeFilterList(mode, std::move(leaves), true);
}

// Passes the records whose genre text contains a ticked genre.
std::unique_ptr<CBaseFilter> GenreCondition(const TCheckListBox* genres) {
    TFilterChildren leaves;
    for (int i = 0; i < genres->Count(); ++i) {
        if (genres->Checked(i)) {
            leaves.push_back(Contains(EncodeCp1251(genres->ItemText(i)).c_str(), TZRecord::kZanr));
        }
    }
    return MakeFilterList(lmAny, std::move(leaves), true);
}

// Opens the site's page at link (a path written in a listing page), put behind base, in the
// browser; whether a browser could be started is not reported.
void OpenSiteLink(const std::string& base, const QString& link) {
    const std::string address = base + EncodeCp1251(link);
    OpenWithHandler(address.c_str(), ".html");
}

QString SiteAddress(const QUrl& site, const char* path) {
    return site.toString(QUrl::FullyEncoded) + QString::fromUtf8(path);
}

}  // namespace

TForm1::TForm1(CFolianta& store, const std::string& historyPath, QWidget* parent)
    : QWidget(parent), store(store), schedule(BootClockSeconds) {
    ApplyFormStyle(this);
    setWindowTitle(QStringLiteral("Folianta"));
    const QUrl site = programSettings.Site();
    Http1.Host = site.host(QUrl::FullyEncoded).toStdString();
    linkBase = site.authority(QUrl::FullyEncoded).toStdString();
    Http1.Request.Accept = kRequestAccept;
    Http1.Request.UserAgent = kRequestUserAgent;
    move(192, 114);
    resize(877, 549);
    CreateControls();
    BindEvents();
    FormCanResize();
    OpenHistory(historyPath);
    StartRules();
    RestoreState();
    BindStateSaving();
    setAcceptDrops(true);
    Guarded(this, [this] { FormCreate(); })();
    StartChecks();
}

void TForm1::CreateControls() {
    using A = TAnchors;
    anchors = new TAnchors(this, size());
    const int topRight = A::akTop | A::akRight;

    table1Cells = new TRecordTableModel(this);
    Table1 = new TStringGrid(table1Cells, true, kTableRowHeight, this);
    Table1->SetColWidths({193, 170, 41, 64, 98, 91, 39});
    anchors->Place(Table1, kTable1Rect, kStretch);
    Table1->horizontalHeader()->setSectionsClickable(true);
    Table1->horizontalHeader()->setSortIndicatorShown(true);
    Table1->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    FindEdit = new QLineEdit(this);
    FindEdit->setAccessibleName(QStringLiteral("Найти"));
    FindEdit->setPlaceholderText(QStringLiteral("Найти в названиях и именах авторов"));
    FindEdit->hide();

    GroupBox1 = new QGroupBox(QStringLiteral("Списки автор"), this);
    anchors->Place(GroupBox1, {736, 8, 121, 81}, topRight);
    Button6 = new QPushButton(QStringLiteral("Добавить автора"), GroupBox1);
    Button6->setGeometry(8, 16, 105, 25);
    Button7 = new QPushButton(QStringLiteral("Исключить автора"), GroupBox1);
    Button7->setGeometry(8, 48, 105, 25);

    GroupBox2 = new QGroupBox(QStringLiteral("Фильтрация"), this);
    anchors->Place(GroupBox2, {8, 335, 712, 209}, A::akLeft | A::akRight | A::akBottom);
    SizeMaxCheck = new TCheckBox(QStringLiteral("Размер не более"), GroupBox2);
    SizeMaxCheck->setGeometry(8, 16, 113, 17);
    SizeMaxEdit = new QLineEdit(QStringLiteral("1000К"), GroupBox2);  // Cyrillic Ka
    SizeMaxEdit->setGeometry(32, 32, 81, 21);
    SizeMinCheck = new TCheckBox(QStringLiteral("Размер не менее"), GroupBox2);
    SizeMinCheck->setGeometry(8, 56, 113, 17);
    SizeMinEdit = new QLineEdit(QStringLiteral("100K"), GroupBox2);  // Latin K
    SizeMinEdit->setGeometry(32, 72, 81, 21);
    Button3 = new QPushButton(QStringLiteral("Список авторов"), GroupBox2);
    Button3->setGeometry(24, 112, 113, 25);
    AutorCheck = new TCheckBox(QStringLiteral("Показать выбранных авторов"), GroupBox2);
    AutorCheck->setGeometry(8, 96, 177, 17);
    Button4 = new QPushButton(QStringLiteral("Button4"), GroupBox2);
    Button4->setGeometry(632, 176, 75, 25);
    Button4->setVisible(false);  // carries the filter-and-show command only
    NotAutorCheck = new TCheckBox(QStringLiteral("Исключить выбранных авторов"), GroupBox2);
    NotAutorCheck->setGeometry(8, 136, 185, 17);
    Button5 = new QPushButton(QStringLiteral("Список авторов"), GroupBox2);
    Button5->setGeometry(24, 152, 113, 25);
    ZanrList = new TCheckListBox(kGenreColumns, kGenreItemHeight, GroupBox2);
    ZanrList->setGeometry(208, 24, 313, 177);
    for (const std::string_view genre : kDesignedGenres) {
        ZanrList->AddItem(QString::fromUtf8(genre.data(), qsizetype(genre.size())));
    }
    ZanrCheck = new TCheckBox(QStringLiteral("Жанр"), GroupBox2);
    ZanrCheck->setGeometry(208, 8, 97, 17);
    UnseenCheck = new TCheckBox(GroupBox2);
    UnseenCheck->setGeometry(530, 24, 177, 17);
    MarkSeenButton = new QPushButton(QStringLiteral("Отметить всё просмотренным"), GroupBox2);
    MarkSeenButton->setGeometry(530, 44, 177, 25);
    MarkSeenButton->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    MarkSeenButton->setToolTip(MarkSeenButton->shortcut().toString(QKeySequence::NativeText));
    ShowHiddenCheck = new TCheckBox(GroupBox2);
    ShowHiddenCheck->setGeometry(530, 76, 177, 17);

    ProxyServer = new QLineEdit(QStringLiteral("localhost"), this);
    anchors->Place(ProxyServer, {727, 160, 145, 21}, topRight);
    ComboBox1 = new QComboBox(this);
    ComboBox1->setEditable(true);
    const QUrl site = programSettings.Site();
    ComboBox1->addItems({SiteAddress(site, "/short.shtml"), SiteAddress(site, "/long.shtml")});
    ComboBox1->setCurrentIndex(0);
    ComboBox1->lineEdit()->setCursorPosition(0);  // show the address from its start
    anchors->Place(ComboBox1, {727, 112, 145, 21}, topRight);
    ProxyCheck = new TCheckBox(QStringLiteral("Использовать прокси"), this);
    anchors->Place(ProxyCheck, {727, 144, 145, 17}, topRight);
    ProxyPort = new QLineEdit(QStringLiteral("8080"), this);
    anchors->Place(ProxyPort, {727, 184, 145, 21}, topRight);
    Button2 = new QPushButton(QStringLiteral("Чтение со страници"), this);
    anchors->Place(Button2, {725, 208, 147, 25}, topRight);
    Button1 = new QPushButton(QStringLiteral("Чтение из файла"), this);
    anchors->Place(Button1, {725, 240, 147, 25}, topRight);
    Button8 = new QPushButton(QStringLiteral("Сохранить настройки"), this);
    anchors->Place(Button8, {727, 272, 145, 25}, topRight);
    Button9 = new QPushButton(QStringLiteral("Загрузить настройки"), this);
    anchors->Place(Button9, {727, 304, 145, 25}, topRight);
    OpenPageAction = new QAction(QStringLiteral("Открыть страницу…"), this);
    OpenPageAction->setShortcut(QKeySequence::Open);
    addAction(OpenPageAction);
    Button1->setToolTip(QStringLiteral("%1 (%2)").arg(
        OpenPageAction->text(), OpenPageAction->shortcut().toString(QKeySequence::NativeText)));
    Label1 = new QLabel(QStringLiteral("Страница"), this);
    Label1->setBuddy(ComboBox1);  // screen readers read the address box with its label
    anchors->Place(Label1, {727, 96, 48, 13}, topRight);
    CreateCheckControls();
    CreateRuleControls();

    // Captioned controls are named by their captions; these have none of their own.
    Table1->setAccessibleName(QStringLiteral("Произведения"));
    SizeMaxEdit->setAccessibleName(QStringLiteral("Наибольший размер"));
    SizeMinEdit->setAccessibleName(QStringLiteral("Наименьший размер"));
    ZanrList->setAccessibleName(QStringLiteral("Жанры"));
    ProxyServer->setAccessibleName(QStringLiteral("Прокси-сервер"));
    ProxyPort->setAccessibleName(QStringLiteral("Порт прокси"));

    // The designed tab order: the window's own controls, with each group box's in between.
    const QWidget* order[] = {Table1,
                              Button6,
                              Button7,
                              SizeMaxCheck,
                              SizeMaxEdit,
                              SizeMinCheck,
                              SizeMinEdit,
                              Button3,
                              AutorCheck,
                              Button4,
                              NotAutorCheck,
                              Button5,
                              ZanrList,
                              ZanrCheck,
                              UnseenCheck,
                              MarkSeenButton,
                              ShowHiddenCheck,
                              ExcludeWordsCheck,
                              ExcludeWordsButton,
                              WantedWordsCheck,
                              WantedWordsButton,
                              ProxyServer,
                              ComboBox1,
                              ProxyCheck,
                              ProxyPort,
                              Button2,
                              Button1,
                              Button8,
                              Button9,
                              StartCheckBox,
                              EveryCheckBox,
                              EveryMinutesEdit};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
        setTabOrder(const_cast<QWidget*>(order[i]), const_cast<QWidget*>(order[i + 1]));
    }
}

void TForm1::BindEvents() {
    const auto refilter = Guarded(this, [this] { ZanrListClickCheck(); });
    for (QCheckBox* box : {SizeMaxCheck, SizeMinCheck, AutorCheck, NotAutorCheck, ZanrCheck,
                           UnseenCheck, ShowHiddenCheck}) {
        connect(box, &QCheckBox::toggled, this, refilter);
    }
    for (QLineEdit* edit : {SizeMaxEdit, SizeMinEdit}) {
        connect(edit, &QLineEdit::textChanged, this, refilter);
    }
    ZanrList->onClickCheck = refilter;
    connect(Button4, &QPushButton::clicked, this, Guarded(this, [this] { Button4Click(); }));
    connect(Button1, &QPushButton::clicked, this, Guarded(this, [this] { Button1Click(); }));
    connect(OpenPageAction, &QAction::triggered, this, Guarded(this, [this] { ChoosePageFile(); }));
    connect(Button2, &QPushButton::clicked, this, Guarded(this, [this] { Button2Click(); }));
    Table1->onDblClick = Guarded(this, [this] { Table1DblClick(); });
    connect(Button3, &QPushButton::clicked, this, Guarded(this, [this] { Button3Click(); }));
    connect(Button5, &QPushButton::clicked, this, Guarded(this, [this] { Button5Click(); }));
    connect(Button6, &QPushButton::clicked, this, Guarded(this, [this] { Button6Click(); }));
    connect(Button7, &QPushButton::clicked, this, Guarded(this, [this] { Button7Click(); }));
    connect(Button8, &QPushButton::clicked, this, Guarded(this, [this] { Button8Click(); }));
    connect(Button9, &QPushButton::clicked, this, Guarded(this, [this] { Button9Click(); }));
    connect(MarkSeenButton, &QPushButton::clicked, this,
            Guarded(this, [this] { MarkSeenButtonClick(); }));
    connect(FindEdit, &QLineEdit::textChanged, this, refilter);
    connect(Table1->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int column) { Guarded(this, [this, column] { Table1HeaderClick(column); })(); });
    connect(new QShortcut(QKeySequence::Find, this), &QShortcut::activated, this,
            Guarded(this, [this] { ShowFind(); }));
    connect(new QShortcut(Qt::Key_Escape, FindEdit, nullptr, nullptr, Qt::WidgetShortcut),
            &QShortcut::activated, this, Guarded(this, [this] { HideFind(); }));
    table1Cells->titleTip = [this](std::uint32_t record, std::uint8_t mark) {
        return TitleTip(record, mark);
    };
    Table1Menu = new TTableMenu(
        Table1, {.openWork = [this] { OpenWork(); },
                 .openAuthor = [this] { OpenAuthor(); },
                 .copy = [this] { Table1->CopySelection(); },
                 .addAuthor = [this] { Button6Click(); },
                 .excludeAuthor = [this] { Button7Click(); },
                 .seen = [this] { return TopRowSeen(); },
                 .markSeen = [this](bool seen) { MarkTopRowSeen(seen); },
                 .canSetHidden = [this](bool hidden) { return CanSetSelectedHidden(hidden); },
                 .setHidden = [this](bool hidden) { SetSelectedHidden(hidden); }});
}

void TForm1::Table1DblClick() {
    const TGridRect selection = Table1->Selection();
    const auto clicked = [&](TZRecord::Field field) { return selection.Left == ColumnOf(field); };
    if (clicked(TZRecord::kTitle) || clicked(TZRecord::kWorkLink)) {
        OpenWork();
    }
    if (clicked(TZRecord::kAutorLink) || clicked(TZRecord::kAutorName)) {
        OpenAuthor();
    }
}

void TForm1::OpenWork() {
    const int row = Table1->Selection().Top;
    OpenSiteLink(linkBase, Table1->Cell(ColumnOf(TZRecord::kWorkLink), row));
    MarkOpened(row);
}

void TForm1::OpenAuthor() {
    OpenSiteLink(linkBase, Table1->Cell(ColumnOf(TZRecord::kAutorLink), Table1->Selection().Top));
}

void TForm1::FormCreate() {
    const bool loaded = store.LoadSettings(kSettingsFile);
    const int loadError = errno;
    if (loaded) {
        SettingsToForm(store);
    }
    shownAddress.clear();
    if (store.LoadPage(kStartPage)) {
        RecordHistory();
    }
    Button4Click();
    savedSettings = SettingsToSave();
    // A first run has no settings file yet. One that is there but cannot be read is told, so
    // that a later save does not replace it unknowingly.
    if (!loaded && loadError != ENOENT) {
        TellLater(FileErrorMessage(kSettingsReadFailed, kSettingsFile, loadError));
    }
}

void TForm1::TellLater(const QString& message) {
    QTimer::singleShot(0, this, [this, message] { ShowErrorBox(this, message); });
}

void TForm1::FormCanResize() {
    const int groupBottom = GroupBox1->geometry().y() + GroupBox1->geometry().height();
    setMinimumHeight(groupBottom + kMinHeightMargin);
}

void TForm1::Button1Click() {
    if (QFileInfo::exists(QString::fromUtf8(kLocalPage))) {
        OpenPageFile(QString::fromUtf8(kLocalPage));
    } else {
        ChoosePageFile();
    }
}

void TForm1::SetUpRequest(THeaderInfo& request) const {
    if (ProxyCheck->isChecked()) {
        request.ProxyPort = StrToInt(EncodeCp1251(ProxyPort->text()));
        request.ProxyServer = EncodeCp1251(ProxyServer->text());
        request.ProxyPassword = kProxyPassword;
        request.ProxyUsername = kProxyUsername;
    } else {
        request.ProxyPort = 0;
        request.ProxyServer.clear();
        request.ProxyPassword.clear();
        request.ProxyUsername.clear();
    }
}

void TForm1::Button2Click() {
    SetUpRequest(Http1.Request);
    const QString address = ComboBox1->currentText();
    RememberAddress(address);
    const std::string bytes = EncodeCp1251(address);
    TFetchedPage fetched;
    {
        const QScopedValueRollback<bool> busy(fetchingByHand, true);
        TDownloadProgress progress(this, address);
        fetched = FetchPage(Http1, bytes, KnownValidators(bytes), bytes == shownAddress, &progress);
    }
    ShowFetchedPage(bytes, fetched);
    if (checkSettings.address != address) {
        checkSettings.address = address;
        WriteCheckSettings(checkSettings);
    }
}

bool TForm1::ShowFetchedPage(const std::string& address, const TFetchedPage& fetched) {
    if (fetched.kind == TFetchedPage::saved) {
        KeepValidators(address, fetched.validators);
        if (history) {
            history->StoreValidators(address, fetched.validators);
        }
    }
    if (fetched.kind == TFetchedPage::unchanged) {
        return false;
    }
    const TGridRect selected = Table1->Selection();
    const TZRecord* record = view.ShownAt(selected.Top - 1);
    const std::string selectedLink = record ? record->workLink : "";
    const int scrolledTo = Table1->verticalScrollBar()->value();
    OpenPageFile(QString::fromUtf8(kFetchedPage));
    shownAddress = address;
    // Links lead where the page came from; an address without a host was fetched from the host
    // of the last one.
    const TAddressParts parts = SplitAddress(address);
    if (!parts.host.empty()) {
        linkBase = parts.scheme + "://" + parts.host +
                   (parts.portText.empty() ? "" : ":" + parts.portText);
    }
    const std::vector<std::uint32_t>& shown = view.Shown();
    const auto again = std::find_if(shown.begin(), shown.end(), [&](std::uint32_t number) {
        return view.Records()[number].workLink == selectedLink;
    });
    if (!selectedLink.empty() && again != shown.end()) {
        const int row = int(again - shown.begin()) + 1;
        Table1->Select({selected.Left, row, selected.Right, row});
    }
    Table1->verticalScrollBar()->setValue(scrolledTo);
    return true;
}

std::optional<TPageValidators> TForm1::KnownValidators(const std::string& address) const {
    const auto known = knownValidators.find(address);
    return known != knownValidators.end() ? std::optional(known->second) : std::nullopt;
}

void TForm1::KeepValidators(const std::string& address, const TPageValidators& validators) {
    if (validators.etag.empty() && validators.lastModified.empty()) {
        knownValidators.erase(address);
    } else {
        knownValidators[address] = validators;
    }
}

void TForm1::ZanrListClickCheck() {
    Button4Click();
}

void TForm1::Button4Click() {
    TFilterChildren conditions;
    if (SizeMaxCheck->isChecked()) {
        conditions.push_back(SizeBound(SizeMaxEdit, true));
    }
    if (SizeMinCheck->isChecked()) {
        conditions.push_back(SizeBound(SizeMinEdit, false));
    }
    if (AutorCheck->isChecked()) {
        conditions.push_back(AuthorCondition(store.GetAutorList1(), lmAny));
    }
    if (NotAutorCheck->isChecked()) {
        conditions.push_back(AuthorCondition(store.GetAutorList2(), lmNone));
    }
    if (ZanrCheck->isChecked()) {
        conditions.push_back(GenreCondition(ZanrList));
    }
    const std::unique_ptr<CFilterList> root = MakeFilterList(lmAll, std::move(conditions), false);
    const std::shared_ptr<const std::vector<std::uint8_t>> marks = PageMarks();
    view.Refilter(
        store, {.filter = root.get(),
                .marks = marks,
                .wantedMarks = UnseenCheck->isChecked() ? std::uint8_t(kUnseen) : std::uint8_t(0),
                .find = EncodeCp1251(FindEdit->text()),
                .sortField = sortColumn < 0 ? TZRecord::kTitle : kTableColumns[sortColumn],
                .sortOrder = sortOrder,
                .hiddenMarks = HiddenMarks(),
                .excludedTitleWords = TitleWords(true),
                .wantedTitleWords = TitleWords(false)});
    table1Cells->ShowRecords(view, marks);
    // The unseen count follows the reader's rules.
    ShowMarkCounts();
}

void TForm1::Table1HeaderClick(int column) {
    if (column != sortColumn) {
        sortColumn = column;
        sortOrder = TSortOrder::ascending;
    } else {
        sortOrder = sortOrder == TSortOrder::ascending ? TSortOrder::descending : TSortOrder::page;
    }
    if (sortOrder == TSortOrder::page) {
        sortColumn = -1;
    }
    Table1->horizontalHeader()->setSortIndicator(
        sortColumn, sortOrder == TSortOrder::descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    Button4Click();
}

void TForm1::ShowFind() {
    const QRect table = kTable1Rect.adjusted(0, 0, 0, -(kFindHeight + kFindGap));
    anchors->Place(Table1, table, kStretch);
    anchors->Place(FindEdit,
                   {table.left(), table.bottom() + 1 + kFindGap, table.width(), kFindHeight},
                   TAnchors::akLeft | TAnchors::akRight | TAnchors::akBottom);
    FindEdit->show();
    FindEdit->setFocus();
}

void TForm1::HideFind() {
    FindEdit->clear();
    FindEdit->hide();
    anchors->Place(Table1, kTable1Rect, kStretch);
    Table1->setFocus();
}

void TForm1::Button3Click() {
    if (autorListDialog) {
        autorListDialog->OpenList(store.GetAutorList1());
    }
}

void TForm1::Button5Click() {
    if (autorListDialog) {
        autorListDialog->OpenList(store.GetAutorList2());
    }
}

void TForm1::Button6Click() {
    AppendShownAuthor(store.GetAutorList1());
}

void TForm1::Button7Click() {
    AppendShownAuthor(store.GetAutorList2());
}

void TForm1::AppendShownAuthor(TAutorList& list) {
    const TZRecord* record = view.ShownAt(Table1->Selection().Top - 1);
    // A row that shows no record (an empty table) has no author. An entry of empty texts would
    // be worse than nothing: its empty link is contained in every author link, so it would make
    // the include-list pass every work and the exclude-list hide every work.
    if (!record) {
        return;
    }
    list.push_back(TAutorInf::Make(record->autorLink, record->autorName, ""));
}

void TForm1::Button8Click() {
    FormToSettings(store);
    if (!store.SaveSettings(kSettingsFile)) {
        const int error = errno;
        ThrowFileError(kSettingsSaveFailed, kSettingsFile, error);
    }
    savedSettings = store.SettingsText();
}

void TForm1::Button9Click() {
    const bool loaded = store.LoadSettings(kSettingsFile);
    const int error = errno;
    SettingsToForm(store);
    if (!loaded) {
        ThrowFileError(kSettingsReadFailed, kSettingsFile, error);
    }
    savedSettings = SettingsToSave();
}

std::string TForm1::SettingsToSave() {
    CFolianta pending;
    pending.autorList1 = store.autorList1;
    pending.autorList2 = store.autorList2;
    FormToSettings(pending);
    return pending.SettingsText();
}

void TForm1::closeEvent(QCloseEvent* event) {
    SaveWindowState();
    if (SettingsToSave() == savedSettings) {
        event->accept();
        return;
    }
    QMessageBox question(QMessageBox::Question, QApplication::applicationName(),
                         QStringLiteral("Настройки изменены. Сохранить их в «%1»?")
                             .arg(QString::fromUtf8(kSettingsFile)),
                         QMessageBox::NoButton, this);
    QPushButton* save = question.addButton(QStringLiteral("Сохранить"), QMessageBox::AcceptRole);
    question.addButton(QStringLiteral("Не сохранять"), QMessageBox::DestructiveRole);
    QPushButton* cancel = question.addButton(QStringLiteral("Отмена"), QMessageBox::RejectRole);
    question.setDefaultButton(save);
    question.setEscapeButton(cancel);
    question.exec();
    bool close = question.clickedButton() != cancel;
    if (question.clickedButton() == save) {
        close = false;
        Guarded(this, [this, &close] {
            Button8Click();
            close = true;
        })();
    }
    event->setAccepted(close);
}

void TForm1::SettingsToForm(CFolianta& from) {
    SizeMaxCheck->setChecked(from.sizeMaxCheck);
    SizeMaxEdit->setText(DecodeCp1251(from.sizeMax));
    SizeMinCheck->setChecked(from.sizeMinCheck);
    SizeMinEdit->setText(DecodeCp1251(from.sizeMin));
    AutorCheck->setChecked(from.autorList1Check);
    NotAutorCheck->setChecked(from.autorList2Check);
    ZanrList->Clear();
    // The only switch set after the genre list is emptied: its refilter sees no genre item.
    ZanrCheck->setChecked(from.zanrCheck);
    for (const ShortStr& name : from.zanrList) {
        ZanrList->AddItem(DecodeCp1251(name));
    }
    // Item i was made from zanrList[i], so the names compare as the bytes they came from.
    for (const ShortStr& ticked : from.zanrCheckList) {
        for (std::size_t i = 0; i < from.zanrList.size(); ++i) {
            if (EqualIgnoringLatinCase(from.zanrList[i].text, ticked.text)) {
                ZanrList->SetChecked(int(i), true);
            }
        }
    }
}

void TForm1::FormToSettings(CFolianta& to) {
    to.sizeMaxCheck = SizeMaxCheck->isChecked();
    to.sizeMax = ShortStr(EncodeCp1251(SizeMaxEdit->text()).c_str());
    to.sizeMinCheck = SizeMinCheck->isChecked();
    to.sizeMin = ShortStr(EncodeCp1251(SizeMinEdit->text()).c_str());
    to.autorList1Check = AutorCheck->isChecked();
    to.autorList2Check = NotAutorCheck->isChecked();
    to.zanrCheck = ZanrCheck->isChecked();
    to.zanrList.clear();
    to.zanrCheckList.clear();
    for (int i = 0; i < ZanrList->Count(); ++i) {
        const ShortStr name(EncodeCp1251(ZanrList->ItemText(i)).c_str());
        to.zanrList.push_back(name);
        if (ZanrList->Checked(i)) {
            to.zanrCheckList.push_back(name);
        }
    }
}
