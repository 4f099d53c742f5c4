// The main window's marks of the history of works: what is recorded at a page load, opened and
// seen, and how the table and the unseen-only switch show it.
#include <QDateTime>
#include <algorithm>
#include <ctime>

#include "app/Cp1251.h"
#include "app/ErrorBox.h"
#include "app/RecordTableModel.h"
#include "app/Unit1.h"

void TForm1::OpenHistory(const std::string& path) {
    if (!path.empty()) {
        try {
            history = std::make_unique<CHistory>(path, std::time(nullptr));
            if (!history->MovedAside().empty()) {
                TellLater(QStringLiteral("История произведений была повреждена и сохранена как "
                                         "«%1»; начата новая история")
                              .arg(QString::fromStdString(history->MovedAside())));
            }
        } catch (const std::exception& failure) {
            TellLater(QStringLiteral("История произведений недоступна, пометки не "
                                     "показываются: %1")
                          .arg(QString::fromUtf8(failure.what())));
        }
    }
    UnseenCheck->setEnabled(history != nullptr);
    MarkSeenButton->setEnabled(history != nullptr);
    ShowUnseenCount();
}

void TForm1::DropHistory(const std::exception& failure) {
    history.reset();
    marks->clear();
    UnseenCheck->setEnabled(false);
    MarkSeenButton->setEnabled(false);
    ShowUnseenCount();
    table1Cells->MarksChanged();
    ShowErrorBox(this, QStringLiteral("История произведений недоступна, пометки больше не "
                                      "показываются: %1")
                           .arg(QString::fromUtf8(failure.what())));
}

void TForm1::RecordHistory() {
    // A new vector: the table's rows keep the marks of the page they show until refilled.
    marks = std::make_shared<std::vector<std::uint8_t>>();
    if (history) {
        std::vector<TMetWork> works;
        works.reserve(store.Records().size());
        for (const TZRecord& record : store.Records()) {
            works.push_back({record.workLink, record.size});
        }
        try {
            history->RecordLoad(works, std::time(nullptr), *marks);
        } catch (const std::exception& failure) {
            DropHistory(failure);
        }
    }
    ShowUnseenCount();
}

std::optional<std::uint32_t> TForm1::RecordOfRow(int row) const {
    const std::vector<std::uint32_t>& shown = store.ShownIndexes();
    if (!history || row < 1 || std::size_t(row) > shown.size() ||
        shown[std::size_t(row - 1)] >= marks->size()) {
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
    try {
        history->MarkOpened(store.Records()[number].workLink, std::time(nullptr));
    } catch (const std::exception& failure) {
        DropHistory(failure);
        return;
    }
    (*marks)[number] = kOpened;
    table1Cells->MarksChanged();
    ShowUnseenCount();
}

void TForm1::MarkSeenButtonClick() {
    if (!history) {
        return;
    }
    std::vector<std::string_view> links;
    links.reserve(store.ShownIndexes().size());
    for (const std::uint32_t number : store.ShownIndexes()) {
        links.push_back(store.Records()[number].workLink);
    }
    try {
        history->MarkSeen(links);
    } catch (const std::exception& failure) {
        DropHistory(failure);
        return;
    }
    for (const std::uint32_t number : store.ShownIndexes()) {
        (*marks)[number] &= std::uint8_t(~(kUnseen | kUpdated));
    }
    ShowUnseenCount();
    if (UnseenCheck->isChecked()) {
        Button4Click();
    } else {
        table1Cells->MarksChanged();
    }
}

std::optional<bool> TForm1::TopRowSeen() const {
    const std::optional<std::uint32_t> record = RecordOfRow(Table1->Selection().Top);
    if (!record) {
        return std::nullopt;
    }
    return ((*marks)[*record] & kUnseen) == 0;
}

void TForm1::MarkTopRowSeen(bool seen) {
    const std::optional<std::uint32_t> record = RecordOfRow(Table1->Selection().Top);
    if (!record) {
        return;
    }
    const std::string_view link = store.Records()[*record].workLink;
    try {
        if (seen) {
            history->MarkSeen({&link, 1});
        } else {
            history->MarkUnseen(link);
        }
    } catch (const std::exception& failure) {
        DropHistory(failure);
        return;
    }
    std::uint8_t& mark = (*marks)[*record];
    mark = std::uint8_t(seen ? mark & ~(kUnseen | kUpdated) : (mark | kUnseen) & ~kUpdated);
    ShowUnseenCount();
    if (UnseenCheck->isChecked()) {
        Button4Click();
    } else {
        table1Cells->MarksChanged();
    }
}

void TForm1::ShowUnseenCount() {
    const auto unseen = std::count_if(marks->begin(), marks->end(),
                                      [](std::uint8_t mark) { return mark & kUnseen; });
    UnseenCheck->setText(QStringLiteral("Только непросмотренные (%1)").arg(unseen));
}

QString TForm1::TitleTip(const TZRecord& record, std::uint8_t mark) const {
    const std::optional<TWorkDetails> details =
        history ? history->Details(record.workLink) : std::nullopt;
    if (!details) {
        return QString();
    }
    if (mark & kUpdated) {
        return QStringLiteral("обновлена, прежний размер %1")
            .arg(DecodeCp1251(details->seenSize.c_str()));
    }
    return QStringLiteral("новая, впервые встречена %1")
        .arg(QDateTime::fromSecsSinceEpoch(details->firstMet).toString("dd.MM.yyyy"));
}
