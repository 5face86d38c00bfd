#include "api/session.h"

#include <cstring>
#include <new>

#include "platform/platform.h"

// Everything zero except the two state machines (1) and the identity kind
// (13, the permanent identity).
AkaSession::AkaSession() : AkaAttributes() {
    hostEventCallback = nullptr;
    hostWindow = nullptr;
    std::memset(realm, 0, sizeof realm);
    permanentIdLength = 0;
    responseTimerId = 0;
    responseTimerArmed = 0;
    authKeyCallBack = nullptr;
    keyExchangeBuffer = nullptr;
    compatibilityFlags = 0;
    eapState = EAP_STATE_IDLE;
    std::memset(lastResponse, 0, sizeof lastResponse);
    std::memset(identity, 0, sizeof identity);
    identityLength = 0;
    akaState = AKA_STATE_OPEN;
    requestIdentifier = 0;
    methodType = 0;
    std::memset(kdfOffer, 0, sizeof kdfOffer);
    kdfOfferCount = 0;
    kdfRequested = 0;
    std::memset(identityMessageRecord, 0, sizeof identityMessageRecord);
    identityMessageRecordLength = 0;
    exchangeAuthenticated = 0;
    fullAuthDone = 0;
    identityKind = IDENTITY_KIND_PERMANENT;
    std::memset(opc, 0, sizeof opc);
    std::memset(milenageC, 0, sizeof milenageC);
    std::memset(milenageR, 0, sizeof milenageR);
    std::memset(res, 0, sizeof res);
    std::memset(ck, 0, sizeof ck);
    std::memset(ik, 0, sizeof ik);
    std::memset(sqn, 0, sizeof sqn);
    std::memset(autnAmf, 0, sizeof autnAmf);
    altKeySetUsed = 0;
    std::memset(responseMac, 0, sizeof responseMac);
    std::memset(checkcodeDigest, 0, sizeof checkcodeDigest);
    std::memset(ckPrime, 0, sizeof ckPrime);
    std::memset(ikPrime, 0, sizeof ikPrime);
    std::memset(seqms, 0, sizeof seqms);
    std::memset(auts, 0, sizeof auts);
    reauthCounter = 0;
    lastReauthCounter = 0;
    counterFresh = 0;
    std::memset(nonceS, 0, sizeof nonceS);
    nextPseudonymPresent = 0;
    nextPseudonymLength = 0;
    std::memset(nextPseudonym, 0, sizeof nextPseudonym);
    reauthIdPresent = 0;
    reauthIdLengthWords = 0;
    reauthIdLength = 0;
    std::memset(reauthId, 0, sizeof reauthId);
    reauthIdPrime = 0;
    pseudonymPrime = 0;
    appendNonceS = 0;
    encrValues = AkaEncrValues{};
    std::memset(mk, 0, sizeof mk);
    std::memset(fullAuthMk, 0, sizeof fullAuthMk);
    std::memset(kEncr, 0, sizeof kEncr);
    std::memset(kAut, 0, sizeof kAut);
    std::memset(kRe, 0, sizeof kRe);
    std::memset(msk, 0, sizeof msk);
    keysPrime = 0;
    sha1RawMode = 0;
    std::memset(milenageRoundKeys, 0, sizeof milenageRoundKeys);
}

AkaSession g_session;

void aka_session_reset() {
#if !defined(_WIN32)
    platform_reset_timers();
#else
    if (g_session.responseTimerArmed) platform_kill_timer(g_session.responseTimerId);
#endif
    g_session.~AkaSession();
    new (&g_session) AkaSession();
}

void aka_raise_event(unsigned int event, uintptr_t argument) {
    if (g_session.hostEventCallback != nullptr) {
        g_session.hostEventCallback(event, reinterpret_cast<void*>(argument));
    }
}
