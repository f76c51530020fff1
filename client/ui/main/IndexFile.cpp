#include "client/ui/main/IndexFile.h"

#include "client/ui/main/FilePane.h"
#include "rtl/StrUtils.h"

int IndexFileRow(const std::vector<TlvFileInfo*>& rows, const std::vector<std::string>& names, std::int64_t maxSizeKB,
                 bool disabled)
{
    if (disabled) return -1;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const TlvFileInfo* row = rows[i];
        if (!row || row->IsDir || !IsSafeLocalName(row->Name) || RowSize(*row) >= maxSizeKB * 1024) continue;
        for (const std::string& name : names)
            if (rtl::SameText(name, row->Name)) return int(i);
    }
    return -1;
}
