#include "platform/dialogs/ScriptedDialogs.h"

std::vector<std::string> TScriptedDialogs::Texts(TDialogCall::Kind kind) const
{
    std::vector<std::string> texts;
    for (const TDialogCall& c : Calls)
        if (c.kind == kind)
            texts.push_back(c.text);
    return texts;
}

bool TScriptedDialogs::Next(const TDialogCall& call, TDialogReply& reply)
{
    Calls.push_back(call);
    Calls.back().parent = ParentWindow();
    if (replies_.empty()) {
        ++Unanswered;
        return false;
    }
    reply = std::move(replies_.front());
    replies_.pop_front();
    if (reply.during)
        reply.during(call);
    return true;
}

int TScriptedDialogs::MessageBox(const std::string& text, const std::string& caption, unsigned flags)
{
    TDialogCall call{TDialogCall::kMessageBox, caption, text, flags, ""};
    TDialogReply reply;
    if (Next(call, reply))
        return reply.id;
    switch (flags & 0x0F) {
    case MB_OK: return IDOK;
    case MB_YESNO: return IDNO;
    default: return IDCANCEL;
    }
}

bool TScriptedDialogs::AskForValue(TDialogCall::Kind kind, const std::string& caption,
                                   const std::string& text, std::string& value)
{
    TDialogCall call{kind, caption, text, 0, value};
    TDialogReply reply;
    if (!Next(call, reply) || !reply.ok)
        return false;
    value = reply.value;
    return true;
}

bool TScriptedDialogs::InputQuery(const std::string& caption, const std::string& prompt, std::string& value)
{
    return AskForValue(TDialogCall::kInputQuery, caption, prompt, value);
}

bool TScriptedDialogs::SelectDirectory(const std::string& caption, std::string& directory)
{
    return AskForValue(TDialogCall::kSelectDirectory, caption, "", directory);
}

bool TScriptedDialogs::OpenFileName(const std::string& caption, const std::string& filter,
                                    std::string& fileName)
{
    return AskForValue(TDialogCall::kOpenFileName, caption, filter, fileName);
}

bool TScriptedDialogs::SaveFileName(const std::string& caption, const std::string& filter,
                                    std::string& fileName)
{
    return AskForValue(TDialogCall::kSaveFileName, caption, filter, fileName);
}

void TScriptedDialogs::ShowError(const std::string& text)
{
    TDialogCall call{TDialogCall::kError, ApplicationTitle(), text, MB_OK | MB_ICONERROR, ""};
    TDialogReply reply;
    Next(call, reply);
}
