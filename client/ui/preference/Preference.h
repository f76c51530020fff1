#pragma once
// The options dialog: the settings on fifteen pages chosen from a tree. OK and
// Apply copy the pages back into the settings and hand the connection count
// to whoever keeps the pool; the lists of extensions and quick-connect entries
// and the fonts change at once. Nothing is written to "setting.ini" here.
#include <QDialog>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Ui { class TfmPreference; }
class TClientSettings;
struct TFontSetting;

class TfmPreference : public QDialog {
public:
    explicit TfmPreference(TClientSettings& settings, QWidget* parent = nullptr);
    ~TfmPreference() override;

    // Pages of Notebook1 by index.
    enum Page { pgGeneral, pgAntiIdle, pgProxy, pgSocks, pgMultipleThread, pgASCIIExtension, pgFonts,
                pgQuickConnect, pgAdvanced, pgDialUP, pgTransfer, pgRenameExt, pgCustomCommand, pgIndex,
                pgSounds };

    // OK and Apply: the connection count changed from oldCount (log pages,
    // status rows and the pool follow it, also during a run).
    std::function<void(int oldCount, int newCount)> OnSetConnectionCount;
    // OK and Apply, after the copy: timers, panes and the split size take effect.
    std::function<void()> OnApplied;
    // A font was chosen: 0 the program font, 1 the log font.
    std::function<void(int which)> OnFontChanged;
    // Quick-connect entries were deleted: the host box follows the settings.
    std::function<void()> OnQuickConnectChanged;
    // The font dialog; replaceable so tests answer it.
    std::function<bool(TFontSetting& font)> ChooseFont;

    // Fills every page from the settings. phoneBook lists the dial-up entries;
    // it may raise (no remote access service), and then the list stays empty
    // and the modem choice is off.
    void FormCreate(const std::function<std::vector<std::string>()>& phoneBook);

    void ShowPage(int page);

    // Handlers.
    void Button1Click(); // OK
    void ApplyClick();
    void cbUseMainThreadTransferClick();
    void seMaxThreadNumChange();
    void btAscAddClick();
    void btAscDeleteClick();
    void Button3Click(int tag); // the font buttons
    void btDeleteQuickConnectClick();
    void btClearQuickConnectClick();
    void Button5Click();        // log file ".."
    void SpeedButton1Click();   // edit/view program ".."
    void Button6Click();        // rename pair Add
    void Button7Click();        // rename pair Remove
    void lvSoundsDblClick();
    void Button10Click();       // sound Clear
    void Button11Click();       // sound Clear All
    void Button8Click();        // index file Add
    void Button9Click();        // index file Remove

    // The anti-idle interval's range in seconds: 0 would flood the server, and
    // the timer takes milliseconds in an int.
    static constexpr int kMinAntiIdle = 1, kMaxAntiIdle = 3600;

private:
    void BuildTree();
    void CopyBack();
    void ShowFonts();

    std::unique_ptr<Ui::TfmPreference> ui;
    TClientSettings& settings_;
    class TRowEdits* renameEdits_ = nullptr; // edLocal and edHost on the current pair
};

// An extension as the lists keep it: blanks and a leading "." gone.
std::string CleanExtension(const std::string& text);
