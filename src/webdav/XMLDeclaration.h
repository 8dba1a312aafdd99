#pragma once
// The XML declaration that may open a document: version 1.x, an encoding
// name, standalone yes or no, in that order, set apart by white space.

enum class XMLDeclarationResult { Read, NeedsMore, Refused, OtherEncoding };

// Reads the declaration at `at` ("<?xml" and white space); on Read, `next`
// is the byte after it. OtherEncoding: it names an encoding other than UTF-8.
// With `final` no more bytes will come, and a declaration cut short is refused.
XMLDeclarationResult readXMLDeclaration(const char* at, const char* end, bool final, const char*& next);
