// What a search writes to: the result list keeps the summary values (set step by step while a
// search runs) and a copy of the item table, laid out again after each search.
#pragma once
#include "addin/features/search/TemplateItem.h"

namespace kv {

class ResultList {
public:
    virtual ~ResultList() = default;
    virtual ResultSummary& Summary() = 0;
    // Copies the table, resets the scroll position and size, and lays the list out again.
    virtual void ShowItems(const ItemTable& items) = 0;
};

// The search box as the search sees it.
class SearchBox {
public:
    virtual ~SearchBox() = default;
    // The text-entered flag: 1 once the user (or a caller) put text in, 0 while the box shows
    // its placeholder.
    virtual bool TextEntered() = 0;
    // The box text, at most 249 bytes (code page 949).
    virtual std::string Text() = 0;
};

}  // namespace kv
