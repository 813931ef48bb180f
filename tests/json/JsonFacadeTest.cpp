// The thin entry points of both codecs: each passes its own choice on (quotes,
// mutability, fragments, result type) and the small codec's convenience
// calls say on the error stream why they gave nothing.

#include <gtest/gtest.h>

#include <string>

#include "json/fast/FastJSONDeserializing.h"
#include "json/fast/FastJSONSerializing.h"
#include "json/fast/FastJSONSerializingBlockAdditions.h"
#include "json/small/NSObject_SmallJSON.h"
#include "json/small/NSString_SmallJSON.h"
#include "json/small/SmallJSON.h"
#include "kit/foundation/Array.h"
#include "kit/foundation/Data.h"
#include "kit/foundation/Date.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/String.h"

using namespace tolva;
using kit::Ref;

TEST(JsonFacade, TheFastEntryPointsKeepTheirQuotesMutabilityAndResultType) {
  EXPECT_EQ(FastJSONSerializing::JSONData(kit::str("a\"b").get())->toString(), "\"a\\\"b\"");
  EXPECT_EQ(FastJSONSerializing::JSONString(kit::str("ab").get())->str(), "\"ab\"");

  auto text = kit::str(R"({"list":[1,2]})");
  Ref<kit::Error> error;
  auto fixed = FastJSONDeserializing::objectFromJSONStringWithParseOptions(text.get(), FJParseOptionNone, &error);
  auto changeable =
      FastJSONDeserializing::mutableObjectFromJSONStringWithParseOptions(text.get(), FJParseOptionNone, &error);
  ASSERT_TRUE(fixed && changeable);
  EXPECT_FALSE(fixed->isMutable());
  EXPECT_TRUE(changeable->isMutable());
  EXPECT_TRUE(kit::cast<kit::Dictionary>(changeable)->objectForKey("list")->isMutable());

  auto dict = kit::make<kit::Dictionary>(
      std::initializer_list<std::pair<std::string_view, Ref<kit::Object>>>{{"when", kit::Date::date()}});
  auto data = FastJSONSerializingBlockAdditions::JSONDataWithOptions(
      dict.get(), 0, [](kit::Object*) -> Ref<kit::Object> { return kit::str("then"); }, &error);
  ASSERT_TRUE(data);
  EXPECT_EQ(data->toString(), R"({"when":"then"})");
}

TEST(JsonFacade, TheSmallCodecTellsFragmentsFromDocuments) {
  SmallJSON json;
  Ref<kit::Error> error;
  EXPECT_FALSE(json.objectWithString(std::string_view("42"), &error));
  EXPECT_FALSE(json.objectWithString(kit::str("\"text\"").get(), &error));
  auto fragment = json.fragmentWithString(std::string_view("42"), &error);
  ASSERT_TRUE(fragment);
  EXPECT_EQ(kit::cast<kit::Number>(fragment)->longLongValue(), 42);
}

TEST(JsonFacade, TheSmallConvenienceCallsReportOnlyTheirFailures) {
  auto list = kit::make<kit::Array>(std::vector<Ref<kit::Object>>{kit::num(1)});
  testing::internal::CaptureStderr();
  EXPECT_EQ(NSObject_SmallJSON::JSONRepresentation(list.get())->str(), "[1]");
  EXPECT_EQ(NSObject_SmallJSON::JSONFragment(kit::num(2).get())->str(), "2");
  EXPECT_TRUE(NSString_SmallJSON::JSONValue(kit::str("[3]").get()));
  EXPECT_TRUE(NSString_SmallJSON::JSONFragmentValue(kit::str("4").get()));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

  testing::internal::CaptureStderr();
  EXPECT_FALSE(NSObject_SmallJSON::JSONRepresentation(kit::num(1).get()));
  EXPECT_FALSE(NSObject_SmallJSON::JSONFragment(kit::Date::date().get()));
  EXPECT_FALSE(NSString_SmallJSON::JSONValue(kit::str("7").get()));
  EXPECT_FALSE(NSString_SmallJSON::JSONFragmentValue(kit::str("[").get()));
  const std::string said = testing::internal::GetCapturedStderr();
  for (const char* call : {"-JSONRepresentation failed", "-JSONFragment failed", "-JSONValue failed",
                           "-JSONFragmentValue failed"})
    EXPECT_NE(said.find(call), std::string::npos) << call << " in: " << said;
}
