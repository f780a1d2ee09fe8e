#pragma once

#include <libical/ical.h>

#include <memory>

// Owners for what libical hands out, so that no early return or exception leaks it.

struct ComponentDeleter
{
    void operator()(icalcomponent* component) const { icalcomponent_free(component); }
};
using ComponentPtr = std::unique_ptr<icalcomponent, ComponentDeleter>;

struct IteratorDeleter
{
    void operator()(icalrecur_iterator* iterator) const { icalrecur_iterator_free(iterator); }
};
using IteratorPtr = std::unique_ptr<icalrecur_iterator, IteratorDeleter>;

struct ParserDeleter
{
    void operator()(icalparser* parser) const { icalparser_free(parser); }
};
using ParserPtr = std::unique_ptr<icalparser, ParserDeleter>;

/// A text from one of libical's *_r functions.
struct ICalTextDeleter
{
    void operator()(char* text) const { icalmemory_free_buffer(text); }
};
using ICalText = std::unique_ptr<char, ICalTextDeleter>;
