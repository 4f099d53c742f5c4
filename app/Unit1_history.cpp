// The main window's marks of the history of works: what is recorded at a page load, opened and
// seen, and how the table and the unseen-only switch show it. The history works on a thread of
// its own; its marks come to the window when ready.
#include <QDateTime>
#include <algorithm>

#include "app/Cp1251.h"
#include "app/DesktopNotice.h"
#include "app/ErrorBox.h"
#include "app/HistoryService.h"
#include "app/RecordTableModel.h"
#include "app/Unit1.h"

void TForm1::OpenHistory(const std::string& path) {
    if (!path.empty()) {
        history = new THistoryService(path, this);
        history->StartAfterPaintOf(Table1->viewport());
        history->onTell = [this](const QString& message, bool off) {
            if (off) {
                CloseHistory();
            }
            ShowErrorBox(this, message);
        };
    }
    ShowMarks(nullptr);
}

void TForm1::CloseHistory() {
    // Its own answer may be what called this: it goes once that answer is done.
    history->deleteLater();
    history = nullptr;
    // Without the history no work can be shown again, so none stays hidden.
    hiddenLinks.clear();
    hiddenUntilMarked = nullptr;
    ShowMarks(nullptr);
}

std::shared_ptr<const std::vector<std::uint8_t>> TForm1::PageMarks() const {
    static const auto none = std::make_shared<const std::vector<std::uint8_t>>();
    if (pageMarks) {
        return std::shared_ptr<const std::vector<std::uint8_t>>(pageMarks, &pageMarks->marks);
    }
    return hiddenUntilMarked ? hiddenUntilMarked : none;
}

std::shared_ptr<const std::vector<std::uint8_t>> TForm1::KnownHiddenMarks() const {
    if (hiddenLinks.empty()) {
        return nullptr;
    }
    const std::vector<TZRecord>& records = store.Records();
    auto marks = std::make_shared<std::vector<std::uint8_t>>(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (hiddenLinks.contains(std::string_view(records[i].workLink))) {
            (*marks)[i] = kHidden;
        }
    }
    return marks;
}

void TForm1::ShowMarks(std::shared_ptr<const TPageMarks> marks) {
    pageMarks = std::move(marks);
    UnseenCheck->setEnabled(history != nullptr);
    MarkSeenButton->setEnabled(history != nullptr);
    ShowHiddenCheck->setEnabled(history != nullptr);
    ShowMarkCounts();
    table1Cells->SetMarks(PageMarks());
}

void TForm1::RecordHistory() {
    // The marks of the page before are not this page's; the works hidden before are left out
    // of this one at once, not a moment later.
    hiddenUntilMarked = KnownHiddenMarks();
    ShowMarks(nullptr);
    if (!history) {
        return;
    }
    const THistoryPage page{store.PageBuffer(), store.RecordsBuffer()};
    history->RecordPage(
        page, [this, records = page.records](std::shared_ptr<const TPageMarks> marks) {
            if (records != store.RecordsBuffer()) {
                return;  // another page was loaded since; its own marks follow
            }
            hiddenLinks.clear();
            hiddenLinks.insert(marks->hiddenLinks.begin(), marks->hiddenLinks.end());
            hiddenUntilMarked = nullptr;
            ShowMarks(std::move(marks));
            const auto all = PageMarks();
            const std::uint8_t out = HiddenMarks();
            if (UnseenCheck->isChecked() ||
                std::any_of(all->begin(), all->end(),
                            [out](std::uint8_t mark) { return mark & out; })) {
                Guarded(this, [this] { Button4Click(); })();
            }
        });
}

std::optional<std::uint32_t> TForm1::RecordOfRow(int row) const {
    const std::vector<std::uint32_t>& shown = view.Shown();
    if (!history || !pageMarks || pageMarks->marks.size() != view.Records().size() || row < 1 ||
        std::size_t(row) > shown.size() || shown[std::size_t(row - 1)] >= pageMarks->marks.size()) {
        return std::nullopt;
    }
    return shown[std::size_t(row - 1)];
}

void TForm1::MarkOpened(int row) {
    const std::optional<std::uint32_t> record = RecordOfRow(row);
    if (!record) {
        return;
    }
    const std::uint32_t number = *record;
    history->MarkOpened(view.Records()[number].workLink);
    auto marks = std::make_shared<TPageMarks>(*pageMarks);
    marks->marks[number] = std::uint8_t(kOpened | (marks->marks[number] & kHidden));
    ShowMarks(std::move(marks));
}

void TForm1::MarkSeenButtonClick() {
    if (!history || !pageMarks || pageMarks->marks.size() != view.Records().size()) {
        return;
    }
    history->MarkSeen({view.Page(), view.RecordsBuffer()}, view.Shown());
    auto marks = std::make_shared<TPageMarks>(*pageMarks);
    for (const std::uint32_t number : view.Shown()) {
        marks->marks[number] &= std::uint8_t(~(kUnseen | kUpdated));
    }
    ShowMarks(std::move(marks));
    if (UnseenCheck->isChecked()) {
        Button4Click();
    }
}

std::optional<bool> TForm1::TopRowSeen() const {
    const std::optional<std::uint32_t> record = RecordOfRow(Table1->Selection().Top);
    if (!record) {
        return std::nullopt;
    }
    return (pageMarks->marks[*record] & kUnseen) == 0;
}

void TForm1::MarkTopRowSeen(bool seen) {
    const std::optional<std::uint32_t> record = RecordOfRow(Table1->Selection().Top);
    if (!record) {
        return;
    }
    const std::string link = view.Records()[*record].workLink;
    if (seen) {
        history->MarkSeen({view.Page(), view.RecordsBuffer()}, {*record});
    } else {
        history->MarkUnseen(link);
    }
    auto marks = std::make_shared<TPageMarks>(*pageMarks);
    std::uint8_t& mark = marks->marks[*record];
    mark = std::uint8_t(seen ? mark & ~(kUnseen | kUpdated) : (mark | kUnseen) & ~kUpdated);
    ShowMarks(std::move(marks));
    if (UnseenCheck->isChecked()) {
        Button4Click();
    }
}

std::vector<std::uint32_t> TForm1::SelectedRecords(bool hidden) const {
    std::vector<std::uint32_t> records;
    const TGridRect selection = Table1->Selection();
    for (int row = selection.Top; row <= selection.Bottom; ++row) {
        const std::optional<std::uint32_t> record = RecordOfRow(row);
        if (record && bool(pageMarks->marks[*record] & kHidden) == hidden) {
            records.push_back(*record);
        }
    }
    return records;
}

bool TForm1::CanSetSelectedHidden(bool hidden) const {
    return !SelectedRecords(!hidden).empty();
}

void TForm1::SetSelectedHidden(bool hidden) {
    const std::vector<std::uint32_t> records = SelectedRecords(!hidden);
    if (records.empty()) {
        return;
    }
    history->SetHidden({view.Page(), view.RecordsBuffer()}, records, hidden);
    auto marks = std::make_shared<TPageMarks>(*pageMarks);
    for (const std::uint32_t record : records) {
        marks->marks[record] ^= kHidden;
        const char* link = view.Records()[record].workLink;
        if (hidden) {
            hiddenLinks.emplace(link);
        } else if (const auto found = hiddenLinks.find(std::string_view(link));
                   found != hiddenLinks.end()) {
            hiddenLinks.erase(found);
        }
    }
    ShowMarks(std::move(marks));
    Button4Click();
}

std::uint8_t TForm1::HiddenMarks() const {
    return ShowHiddenCheck->isChecked() ? 0 : kHidden;
}

void TForm1::ShowMarkCounts() {
    if (!pageMarks) {
        // No count is better than a wrong one while the marks are on their way.
        UnseenCheck->setText(QStringLiteral("Только непросмотренные"));
        ShowHiddenCheck->setText(QStringLiteral("Показать скрытые"));
        return;
    }
    const std::shared_ptr<const std::vector<std::uint8_t>> marks = PageMarks();
    // The works the reader's rules leave out are not counted.
    const std::size_t unseen = view.CountKeptByReaderRules(*marks, kUnseen, HiddenMarks());
    const auto hidden = std::count_if(marks->begin(), marks->end(),
                                      [](std::uint8_t mark) { return mark & kHidden; });
    ShowHiddenCheck->setText(QStringLiteral("Показать скрытые (%1)").arg(hidden));
    UnseenCheck->setText(QStringLiteral("Только непросмотренные (%1)").arg(unseen));
    const QString title =
        unseen > 0 ? QStringLiteral("Folianta — %1 новых").arg(unseen) : QStringLiteral("Folianta");
    setWindowTitle(title);
    if (notice) {
        notice->SetStatus(checkFailure.isEmpty() ? title : title + u'\n' + CheckStateLabel->text());
    }
}

QString TForm1::TitleTip(std::uint32_t record, std::uint8_t mark) const {
    if (!pageMarks || record >= pageMarks->firstMet.size()) {
        return QString();
    }
    if (mark & kUpdated) {
        const auto seen = pageMarks->seenSizes.find(record);
        return QStringLiteral("обновлена, прежний размер %1")
            .arg(seen != pageMarks->seenSizes.end() ? DecodeCp1251(seen->second.c_str())
                                                    : QString());
    }
    return QStringLiteral("новая, впервые встречена %1")
        .arg(QDateTime::fromSecsSinceEpoch(pageMarks->firstMet[record]).toString("dd.MM.yyyy"));
}
