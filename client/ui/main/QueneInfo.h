#pragma once
// The details of a broken list: its site and what is left of each file.
#include <QDialog>
#include <memory>

#include "client/engine/OldQuene.h"

namespace Ui { class TfmQueneInfo; }

class TfmQueneInfo : public QDialog {
public:
    TfmQueneInfo(const TOldQuene& queue, QWidget* parent = nullptr);
    ~TfmQueneInfo() override;
    void FormShow();

private:
    std::unique_ptr<Ui::TfmQueneInfo> ui;
    TOldQuene FQueue;
};
