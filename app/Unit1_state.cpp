// What the main window keeps across runs in the program's settings file: its geometry, the
// table's columns and sort, the unseen switch, the proxy fields and the addresses typed.
#include <QHeaderView>
#include <QLineEdit>

#include "app/Unit1.h"

namespace {

const QString kGeometryKey = QStringLiteral("window/geometry");
const QString kColumnsKey = QStringLiteral("table/columns");
const QString kSortColumnKey = QStringLiteral("table/sortColumn");
const QString kSortOrderKey = QStringLiteral("table/sortOrder");
const QString kUnseenOnlyKey = QStringLiteral("table/unseenOnly");
const QString kProxyUsedKey = QStringLiteral("proxy/used");
const QString kProxyServerKey = QStringLiteral("proxy/server");
const QString kProxyPortKey = QStringLiteral("proxy/port");
const QString kAddressesKey = QStringLiteral("addresses/typed");
const QString kAscending = QStringLiteral("ascending");
const QString kDescending = QStringLiteral("descending");

// The address box's designed items, which stay first; the typed addresses kept follow them.
constexpr int kDesignedAddresses = 2;
constexpr int kKeptAddresses = 10;
// No screen is wider than this; a wider column is a damaged value.
constexpr int kMaxColumnWidth = 16384;

// Whether the columns restored from a header state can be the table's: every column shown,
// sized by hand within reason, and the headers sorting on a click.
bool UsableColumns(const QHeaderView* header, int count) {
    if (header->count() != count || !header->sectionsClickable() ||
        !header->isSortIndicatorShown() || header->stretchLastSection()) {
        return false;
    }
    for (int column = 0; column < count; ++column) {
        if (header->isSectionHidden(column) ||
            header->sectionResizeMode(column) != QHeaderView::Interactive ||
            header->sectionSize(column) < 1 || header->sectionSize(column) > kMaxColumnWidth) {
            return false;
        }
    }
    return true;
}

}  // namespace

void TForm1::RestoreState() {
    // Qt puts a window saved on a screen that is gone back onto one that exists.
    if (const QByteArray geometry = programSettings.Bytes(kGeometryKey); !geometry.isEmpty()) {
        restoreGeometry(geometry);
    }
    QHeaderView* header = Table1->horizontalHeader();
    const QByteArray designed = header->saveState();
    if (const QByteArray columns = programSettings.Bytes(kColumnsKey); !columns.isEmpty()) {
        if (!header->restoreState(columns) || !UsableColumns(header, Table1->ColCount())) {
            header->restoreState(designed);
        }
        // The sort comes from its own keys below.
        header->setSortIndicator(-1, Qt::AscendingOrder);
    }
    const int sortBy = programSettings.Number(kSortColumnKey, 0, Table1->ColCount() - 1, -1);
    const QString order = programSettings.Text(kSortOrderKey);
    if (sortBy >= 0 && (order == kAscending || order == kDescending)) {
        // The header's clicks: ascending first, then descending.
        Table1HeaderClick(sortBy);
        if (order == kDescending) {
            Table1HeaderClick(sortBy);
        }
    }
    UnseenCheck->setChecked(programSettings.Flag(kUnseenOnlyKey, false));
    ProxyCheck->setChecked(programSettings.Flag(kProxyUsedKey, false));
    ProxyServer->setText(programSettings.Text(kProxyServerKey, ProxyServer->text()));
    ProxyPort->setText(programSettings.Text(kProxyPortKey, ProxyPort->text()));
    // The box keeps its own list: a typed address goes in by RememberAddress only.
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    for (const QString& address : programSettings.Texts(kAddressesKey).mid(0, kKeptAddresses)) {
        if (!address.isEmpty()) {
            ComboBox1->addItem(address);
        }
    }
}

void TForm1::BindStateSaving() {
    const auto keep = [this](const QString& key) {
        return [this, key](const auto& value) { programSettings.setValue(key, value); };
    };
    connect(UnseenCheck, &QCheckBox::toggled, this, keep(kUnseenOnlyKey));
    connect(ProxyCheck, &QCheckBox::toggled, this, keep(kProxyUsedKey));
    connect(ProxyServer, &QLineEdit::textChanged, this, keep(kProxyServerKey));
    connect(ProxyPort, &QLineEdit::textChanged, this, keep(kProxyPortKey));
    QHeaderView* header = Table1->horizontalHeader();
    connect(header, &QHeaderView::sectionResized, this,
            [this, header] { programSettings.setValue(kColumnsKey, header->saveState()); });
    // After Table1HeaderClick, connected first, has set the sort (the header has already moved
    // its arrow by itself before).
    connect(header, &QHeaderView::sectionClicked, this, [this] {
        if (sortOrder == TSortOrder::page) {
            programSettings.remove(kSortColumnKey);
            programSettings.remove(kSortOrderKey);
            return;
        }
        programSettings.setValue(kSortColumnKey, sortColumn);
        programSettings.setValue(kSortOrderKey,
                                 sortOrder == TSortOrder::descending ? kDescending : kAscending);
    });
}

void TForm1::SaveWindowState() {
    programSettings.setValue(kGeometryKey, saveGeometry());
    programSettings.setValue(kColumnsKey, Table1->horizontalHeader()->saveState());
}

void TForm1::RememberAddress(const QString& address) {
    const int found = ComboBox1->findText(address, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (address.isEmpty() || (found >= 0 && found < kDesignedAddresses)) {
        return;
    }
    QStringList typed{address};
    for (int i = kDesignedAddresses; i < ComboBox1->count(); ++i) {
        if (ComboBox1->itemText(i) != address && typed.size() < kKeptAddresses) {
            typed << ComboBox1->itemText(i);
        }
    }
    while (ComboBox1->count() > kDesignedAddresses) {
        ComboBox1->removeItem(kDesignedAddresses);
    }
    ComboBox1->addItems(typed);
    ComboBox1->setCurrentIndex(kDesignedAddresses);
    programSettings.setValue(kAddressesKey, typed);
}
