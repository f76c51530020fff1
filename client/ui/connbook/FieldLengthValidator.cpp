#include "client/ui/connbook/FieldLengthValidator.h"

TFieldLengthValidator::TFieldLengthValidator(std::size_t maxBytes, QObject* parent)
    : QValidator(parent), FMaxBytes(maxBytes)
{
}

QValidator::State TFieldLengthValidator::validate(QString& input, int&) const
{
    return std::size_t(input.toUtf8().size()) <= FMaxBytes ? Acceptable : Invalid;
}
