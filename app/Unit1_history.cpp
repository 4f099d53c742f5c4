// The main window's marks of the history of works: what is recorded at a page load, opened and
// seen, and how the table and the unseen-only switch show it.
#include <QDateTime>
#include <algorithm>
#include <ctime>
#include <span>

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
    marks = std::make_shared<const std::vector<std::uint8_t>>();
    UnseenCheck->setEnabled(false);
    MarkSeenButton->setEnabled(false);
    ShowUnseenCount();
    table1Cells->SetMarks(marks);
    ShowErrorBox(this, QStringLiteral("История произведений недоступна, пометки больше не "
                                      "показываются: %1")
                           .arg(QString::fromUtf8(failure.what())));
}

void TForm1::RecordHistory() {
    // A new vector: the table's rows keep the marks of the page they show until refilled.
    auto loaded = std::make_shared<std::vector<std::uint8_t>>();
    if (history) {
        std::vector<TMetWork> works;
        works.reserve(store.Records().size());
        for (const TZRecord& record : store.Records()) {
            works.push_back({record.workLink, record.size});
        }
        try {
            history->RecordLoad(works, std::time(nullptr), *loaded);
        } catch (const std::exception& failure) {
            DropHistory(failure);
            return;
        }
    }
    marks = std::move(loaded);
    ShowUnseenCount();
}

void TForm1::MarkOpened(int row) {
    const std::vector<std::uint32_t>& shown = view.Shown();
    if (!history || row < 1 || std::size_t(row) > shown.size()) {
        return;
    }
    const std::uint32_t number = shown[std::size_t(row - 1)];
    try {
        history->MarkOpened(view.Records()[number].workLink, std::time(nullptr));
    } catch (const std::exception& failure) {
        DropHistory(failure);
        return;
    }
    ChangeMarks(std::span(&number, 1), [](std::uint8_t) { return std::uint8_t(kOpened); });
    table1Cells->SetMarks(marks);
    ShowUnseenCount();
}

void TForm1::MarkSeenButtonClick() {
    if (!history) {
        return;
    }
    std::vector<std::string_view> links;
    links.reserve(view.Shown().size());
    for (const std::uint32_t number : view.Shown()) {
        links.push_back(view.Records()[number].workLink);
    }
    try {
        history->MarkSeen(links);
    } catch (const std::exception& failure) {
        DropHistory(failure);
        return;
    }
    ChangeMarks(view.Shown(),
                [](std::uint8_t mark) { return std::uint8_t(mark & ~(kUnseen | kUpdated)); });
    ShowUnseenCount();
    if (UnseenCheck->isChecked()) {
        Button4Click();
    } else {
        table1Cells->SetMarks(marks);
    }
}

void TForm1::ChangeMarks(std::span<const std::uint32_t> numbers,
                         std::uint8_t (*change)(std::uint8_t)) {
    auto changed = std::make_shared<std::vector<std::uint8_t>>(*marks);
    for (const std::uint32_t number : numbers) {
        if (number < changed->size()) {
            (*changed)[number] = change((*changed)[number]);
        }
    }
    marks = std::move(changed);
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
