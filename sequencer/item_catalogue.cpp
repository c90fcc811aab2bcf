#include "sequencer/item_catalogue.h"

#include "sequencer/command_step.h"
#include "sequencer/test_items.h"

namespace karvex {
namespace {

using E = Entry;

// 0: initialisation and APN registration.
constexpr StepTemplate kInitialise[] = {
    {"AT+KSLEEP=2", 5000},
    {"AT+GPSAUTOINIT=0", 5000, "", {}, "AT"},
    {"ATE0", 5000},
    {"AT&K0", 5000},
    {"AT+CGATT=0", 8000},
    {"AT+KCNXCFG=1,\"GPRS\",\"%s\",\"%s\",\"%s\"", 5000, "", {E::Apn, E::User, E::Password}},
    {"AT+CGDCONT=4,, \"%s\"", 5000, "", {E::Apn}},
    {"AT+KCNXPROFILE=1", 5000},
    {"AT+CGATT=1", 8000, "", {}, "AT"},
};

// 1: the module's revision.
constexpr StepTemplate kRevision[] = {{"AT+CGMR", 5000}};

// 2: received signal strength.
constexpr StepTemplate kSignal[] = {{"AT+CSQ", 5000}};

// 3: date and time from the time service; the clock is set afterwards from the reply.
constexpr StepTemplate kNetworkTime[] = {
    {"AT+KHTTPCFG=1,\"%s\",80", 30000, "+KHTTP_IND", {E::TimeHost}},
    {"AT+KHTTPGET=1,\"/cgi-bin/time\"", 30000},
    {"*", 3000},
    {"AT+KHTTPCLOSE=1", 5000},
    {"AT+KHTTPDEL=1", 5000},
};

// 4: the module's clock.
constexpr StepTemplate kReadClock[] = {{"AT+CCLK?", 5000}};

// 5: send an SMS. The prompt after AT+CMGS is not waited for: the 5000 ms pause gives the module
// time to get ready for the text, which Ctrl-Z (0x1A) ends.
constexpr StepTemplate kSendSms[] = {
    {"AT+CMGF=1", 5000},                          //
    {"*", 3000},                                  //
    {"AT+CMGS=\"%s\"", kNoWait, "", {E::Phone}},  // written, not waited on
    {"*", 5000},                                  //
    {"TEST SMS 1\x1A", 3000},
};

// 6: SMS storage.
constexpr StepTemplate kSmsStorage[] = {{"AT+CPMS=\"SM\"", 5000}};

// 7, 8: read and delete a stored SMS.
constexpr StepTemplate kReadSms[] = {{"AT+CMGR=%s", 5000, "", {E::SmsNumber}}};
constexpr StepTemplate kDeleteSms[] = {{"AT+CMGD=%s", 5000, "", {E::SmsNumber}}};

// 9: assisted GPS.
constexpr StepTemplate kAssistedGps[] = {
    {"AT+WPPP=2,4,\"%s\",\"%s\"", 5000, "", {E::User, E::Password}},
    {"AT+CMOLR=2,1", 5000},
};

// 10, 11: start and stop positioning.
constexpr StepTemplate kGpsStart[] = {{"AT+GPSNMEA=01,,1", 5000}, {"AT+GPSSTART=0", 5000}};
constexpr StepTemplate kGpsStop[] = {{"AT+GPSSTOP", 5000}};

constexpr ItemTemplate kItems[] = {
    {kInitialise, true, E::Apn, kApnRequired, true},
    {kRevision},
    {kSignal},
    {kNetworkTime},
    {kReadClock},
    {kSendSms, true, E::Phone, kPhoneRequired, true},
    {kSmsStorage},
    {kReadSms, true, E::SmsNumber, kNumberRequired},
    {kDeleteSms, true, E::SmsNumber, kNumberRequired},
    {kAssistedGps},
    {kGpsStart},
    {kGpsStop},
};
static_assert(std::size(kItems) == kTestItemCount);

// Every placeholder has an entry to take.
constexpr bool PlaceholdersHaveEntries() {
    for (const ItemTemplate& item : kItems) {
        for (const StepTemplate& step : item.steps) {
            if (CountPlaceholders(step.format) > static_cast<int>(step.entries.size()))
                return false;
        }
    }
    return true;
}
static_assert(PlaceholdersHaveEntries());

}  // namespace

const ItemTemplate* FindItem(int index) {
    if (index < 0 || index >= static_cast<int>(std::size(kItems))) return nullptr;
    return &kItems[index];
}

}  // namespace karvex
