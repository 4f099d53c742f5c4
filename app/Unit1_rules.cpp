// The main window's title words: the two lists of words or phrases that leave out, or alone keep,
// the works whose titles hold them, with their switches, their editor and the group [rules] of
// the program's settings file that keeps them.
#include "app/CheckBox.h"
#include "app/Cp1251.h"
#include "app/ErrorBox.h"
#include "app/Unit1.h"
#include "app/UnitWordList.h"

// Here, where the word editor is known.
TForm1::~TForm1() = default;

void TForm1::CreateRuleControls() {
    ExcludeWordsCheck = new TCheckBox(QStringLiteral("Исключить слова в названии"), GroupBox2);
    ExcludeWordsCheck->setGeometry(530, 100, 177, 17);
    ExcludeWordsButton = new QPushButton(QStringLiteral("Список слов"), GroupBox2);
    ExcludeWordsButton->setGeometry(546, 116, 113, 25);
    WantedWordsCheck = new TCheckBox(QStringLiteral("Только со словами в названии"), GroupBox2);
    WantedWordsCheck->setGeometry(530, 144, 177, 17);
    WantedWordsButton = new QPushButton(QStringLiteral("Список слов"), GroupBox2);
    WantedWordsButton->setGeometry(546, 160, 113, 25);
    ExcludeWordsButton->setAccessibleName(QStringLiteral("Список исключённых слов"));
    WantedWordsButton->setAccessibleName(QStringLiteral("Список нужных слов"));
    wordListDialog = std::make_unique<TFormWordList>();
}

void TForm1::StartRules() {
    rules = ReadRulesSettings();
    ExcludeWordsCheck->setChecked(rules.excludeOn);
    WantedWordsCheck->setChecked(rules.wantedOn);
    const auto switched = Guarded(this, [this] {
        rules.excludeOn = ExcludeWordsCheck->isChecked();
        rules.wantedOn = WantedWordsCheck->isChecked();
        WriteRulesSettings(rules);
        Button4Click();
    });
    for (QCheckBox* box : {ExcludeWordsCheck, WantedWordsCheck}) {
        connect(box, &QCheckBox::toggled, this, switched);
    }
    connect(ExcludeWordsButton, &QPushButton::clicked, this,
            Guarded(this, [this] { OpenWordList(true); }));
    connect(WantedWordsButton, &QPushButton::clicked, this,
            Guarded(this, [this] { OpenWordList(false); }));
}

void TForm1::OpenWordList(bool excluded) {
    QStringList& words = excluded ? rules.excluded : rules.wanted;
    const QCheckBox* box = excluded ? ExcludeWordsCheck : WantedWordsCheck;
    wordListDialog->OpenList(box->text(), words, [this, &words](const QStringList& edited) {
        words = edited;
        WriteRulesSettings(rules);
        Button4Click();
    });
}

std::vector<std::string> TForm1::TitleWords(bool excluded) const {
    std::vector<std::string> words;
    if ((excluded ? ExcludeWordsCheck : WantedWordsCheck)->isChecked()) {
        for (const QString& word : excluded ? rules.excluded : rules.wanted) {
            words.push_back(EncodeCp1251(word));
        }
    }
    return words;
}
