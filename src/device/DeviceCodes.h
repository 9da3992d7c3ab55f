#pragma once

namespace zul {

// The codes of the status line (`ShowStatus`): each names a catalogue key, GivenText shows the
// text it is given.
namespace status {
enum Code : int {
    Trying = 0,               // TENTANDO
    Connected = 1,            // CONECTADA
    NotConnected = 2,         // NAO_CONECTOU
    Closing = 3,              // FECHE_CONEX
    Disconnected = 4,         // DESCONECT
    DisconnectFailed = 5,     // FALHA_DESCON
    Blank = 6,                // no key: the status line is emptied (the library cannot be used)
    LibraryFailed = 7,        // FALHA_DLL
    OfflineConfig = 8,        // CONFIG_OFF
    OfflineConfigOk = 9,      // CONFIG_OFF_OK
    OfflineConfigError = 10,  // ERRO_CONFIG_OFF
    OfflineMessage = 11,      // MESSAGE_OFF
    OfflineMessageOk = 12,    // MESSAGE_OFF_OK
    OfflineMessageError = 13, // ERRO_MESSAGE_OFF
    MessageConfigOk = 14,     // MESSAGE_CONFIG_OK
    Synchronising = 15,       // SINCRONIZANDO
    SyncOk = 16,              // SINCRONISMO_OK
    SyncError = 17,           // SINCRONISMO_ERRO
    Clearing = 18,            // BD_EXCLUINDO
    Cleared = 19,             // BD_EXCLUIDO_OK
    ClearingError = 20,       // BD_EXCLUIDO_ERRO
    Updating = 21,            // ATUALIZA_CATRACA
    Updated = 22,             // ATUALIZA_OK
    UpdateError = 23,         // ATUALIZA_ERRO
    PreparingSync = 24,       // PREPARANDO_SINC
    GivenText = 256,
};
} // namespace status

// Where an online event of the controller comes from (`Origin` of `ReceberDadosOnLine`): the
// two that report how a release ended.
namespace origin {
enum Code : int {
    NotPassed = 5, // the release timed out: the person did not pass
    Passed = 6,    // the arm turned: the person passed
};
} // namespace origin

// The identification forms argument of `EnviarFormasEntradasOnLine`.
namespace forms {
enum Code : int {
    Biometric = 11,     // fingerprint, with card or keypad as the controller allows
    KeypadAndCard = 12, // keypad and card without fingerprint
};
} // namespace forms

} // namespace zul
