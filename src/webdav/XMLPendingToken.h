#pragma once
// Where a token left unfinished at the end of one chunk ends in the next
// bytes, found without reading the carried part again: the streaming
// tokenizer appends only up to that end before parsing the token once, so a
// long token fed in small chunks costs linear time.

#include <cstddef>
#include <string_view>

class XMLPendingToken {
 public:
  // Starts waiting for the end of the token `carry` begins with (empty: none).
  // `documentStart`: no byte of the document has been read yet.
  void reset(std::string_view carry, bool documentStart);
  // How many of `bytes` finish the token, or npos when none do; `carry` is the
  // token so far. Only an end reaching into `bytes` counts: what the carry
  // held did not finish it.
  std::size_t end(std::string_view carry, std::string_view bytes);

 private:
  // Follows a start tag's quotes byte by byte; true at a '>' outside them.
  bool endsStartTag(char c);

  enum class Kind { Unknown, Text, Reference, StartTag, EndTag, Comment, Instruction, CData };
  Kind m_kind = Kind::Unknown;
  std::size_t m_scanned = 0;  // bytes of carry and new bytes already searched
  char m_quote = 0;           // of a start tag's value still open
};
