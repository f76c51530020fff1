#pragma once
// The status bar's panels.
#include <string>

#include "widgets/skCollection.h"
#include "widgets/skStatusPanel.h"

class TskCustomStatusBar;

class TskStatusPanels : public TskCollection {
public:
    explicit TskStatusPanels(TskCustomStatusBar* bar) : FBar(bar) {}
    ~TskStatusPanels() override;

    TskStatusPanel* Add() { return static_cast<TskStatusPanel*>(TskCollection::Add()); }
    TskStatusPanel* GetPanel(int index) const { return static_cast<TskStatusPanel*>(Items(index)); }
    // The last panel of that name (case-sensitive), or nullptr.
    TskStatusPanel* FindPanel(const std::string& name) const;
    void RefreshStyle(TskStatusPanelStyle style);
    void Update(TskCollectionItem* item) override;
    TskCustomStatusBar* Owner() const { return FBar; }
    // Copies the other bar's panels (assigning the Panels property).
    void Assign(const TskStatusPanels& source);

protected:
    std::unique_ptr<TskCollectionItem> NewItem() override;

private:
    TskCustomStatusBar* FBar;
};
