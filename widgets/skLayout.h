#pragma once
// The fill direction of button groups, outlook bars and outlook lists.
enum TskLayout { loVertical, loHorizontal };
