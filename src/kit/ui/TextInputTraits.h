#pragma once
// How a text input asks for its keyboard (the platform's values).

namespace kit {

enum class KeyboardType {
  Default = 0,
  ASCIICapable = 1,
  NumbersAndPunctuation = 2,
  URL = 3,
  NumberPad = 4,
  PhonePad = 5,
  NamePhonePad = 6,
  EmailAddress = 7,
  DecimalPad = 8,
  Twitter = 9,
  WebSearch = 10,
};

enum class TextAutocapitalizationType { None = 0, Words = 1, Sentences = 2, AllCharacters = 3 };

enum class TextAutocorrectionType { Default = 0, No = 1, Yes = 2 };

enum class ReturnKeyType {
  Default = 0,
  Go = 1,
  Google = 2,
  Join = 3,
  Next = 4,
  Route = 5,
  Search = 6,
  Send = 7,
  Yahoo = 8,
  Done = 9,
  EmergencyCall = 10,
};

enum class TextAlignment { Left = 0, Center = 1, Right = 2 };

struct TextInputTraits {
  KeyboardType keyboardType = KeyboardType::Default;
  TextAutocapitalizationType autocapitalizationType = TextAutocapitalizationType::Sentences;
  TextAutocorrectionType autocorrectionType = TextAutocorrectionType::Default;
  ReturnKeyType returnKeyType = ReturnKeyType::Default;
  bool enablesReturnKeyAutomatically = false;
  bool secureTextEntry = false;
};

}  // namespace kit
