#pragma once
// Refuses an edit's text longer than the field it is stored in, counted in
// the bytes the file keeps (UTF-8), so typing or pasting past the field
// leaves the text as it was instead of having it cut at the next save.
#include <QValidator>
#include <cstddef>

class TFieldLengthValidator : public QValidator {
public:
    TFieldLengthValidator(std::size_t maxBytes, QObject* parent);

    State validate(QString& input, int& pos) const override;

private:
    std::size_t FMaxBytes;
};
