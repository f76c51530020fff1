#pragma once
// A dialogs service that answers from a script instead of a person: every
// question is recorded, and each is answered by the next scripted reply.
// Tests install it with SetDialogs; the client's tests use it the same way.
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/dialogs/Dialogs.h"

struct TDialogCall {
    enum Kind { kMessageBox, kInputQuery, kSelectDirectory, kOpenFileName, kSaveFileName, kError };
    Kind kind = kMessageBox;
    std::string caption;
    std::string text;   // message, prompt or error text
    unsigned flags = 0; // message boxes only
    std::string value;  // what the caller prefilled (input, folder, file name)
    QWidget* parent = nullptr; // the window the box was centred on
};

struct TDialogReply {
    int id = IDOK;       // message boxes
    bool ok = true;      // input and file dialogs: confirmed or cancelled
    std::string value;   // input and file dialogs: the answer
    // Runs while the question is open (a modal box blocks its caller there).
    std::function<void(const TDialogCall&)> during;
};

class TScriptedDialogs : public TDialogs {
public:
    std::vector<TDialogCall> Calls;
    // Questions that found no scripted reply (answered with cancel).
    int Unanswered = 0;

    void Reply(TDialogReply reply) { replies_.push_back(std::move(reply)); }
    void ReplyId(int id) { TDialogReply r; r.id = id; Reply(std::move(r)); }
    void ReplyText(const std::string& value) { TDialogReply r; r.value = value; Reply(std::move(r)); }
    void ReplyCancel() { TDialogReply r; r.id = IDCANCEL; r.ok = false; Reply(std::move(r)); }
    std::size_t PendingReplies() const { return replies_.size(); }

    // The texts of the recorded calls of one kind, in order.
    std::vector<std::string> Texts(TDialogCall::Kind kind) const;

    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) override;
    bool SelectDirectory(const std::string& caption, std::string& directory) override;
    bool OpenFileName(const std::string& caption, const std::string& filter,
                      std::string& fileName) override;
    bool SaveFileName(const std::string& caption, const std::string& filter,
                      std::string& fileName) override;
    void ShowError(const std::string& text) override;

private:
    bool Next(const TDialogCall& call, TDialogReply& reply);
    bool AskForValue(TDialogCall::Kind kind, const std::string& caption, const std::string& text,
                     std::string& value);
    std::deque<TDialogReply> replies_;
};

// A scripted service installed for this object's lifetime; the one before
// comes back after it.
class TScriptedDialogsScope {
public:
    TScriptedDialogsScope()
    {
        auto scripted = std::make_unique<TScriptedDialogs>();
        dialogs_ = scripted.get();
        previous_ = SetDialogs(std::move(scripted));
    }
    ~TScriptedDialogsScope() { SetDialogs(std::move(previous_)); }
    TScriptedDialogsScope(const TScriptedDialogsScope&) = delete;
    TScriptedDialogsScope& operator=(const TScriptedDialogsScope&) = delete;
    TScriptedDialogs* get() const { return dialogs_; }

private:
    TScriptedDialogs* dialogs_ = nullptr;
    std::unique_ptr<TDialogs> previous_;
};
