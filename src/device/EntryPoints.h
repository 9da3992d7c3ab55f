#pragma once

// The 37 entry points of the controller vendor's library, in the order of the library's
// documentation: the one list from which the program's binding (device/EasyInner.h), the
// stand-in library (sim/lib/EasyInner.h) and the simulator's wire table (sim/protocol/Wire.h)
// are all made, so that none of them can name, count or shape an entry point differently.
// Plain C++ without Qt: the stand-in library and the simulator use it as well.
//
// ZUL_EASYINNER_ENTRY_POINTS(X) expands X(Name, Result, Shape, Parameters) once per entry point:
//   Result      what the caller may make of the return value (easyinner::ResultKind): Ignored,
//               Byte (the low 8 bits: 0 success, else an error code) or Int32 (nonzero: more)
//   Shape       the arguments as the wire carries them, one letter each: 'd' the device
//               number, 'i' an integer, 't' a byte string; the addresses the library fills
//               travel back in the reply and have no letter
//   Parameters  the parameter list of the C function: 32-bit ints and addresses

#include <cstddef>

// The vendor builds its 32-bit Windows library with the standard calling convention; every
// other target has one convention only.
#if defined(_WIN32) && !defined(_WIN64)
#define ZUL_EASYINNER_CALL __stdcall
#else
#define ZUL_EASYINNER_CALL
#endif

// clang-format off
#define ZUL_EASYINNER_ENTRY_POINTS(X)                                                                        \
    X(FecharPortaComunicacao, Ignored, "", (void))                                                           \
    X(ConfigurarInnerOnLine, Ignored, "", (void))                                                            \
    X(InicializarColetaListaUsuariosBio, Ignored, "", (void))                                                \
    X(DefinirTipoConexao, Ignored, "i", (int linkType /* 0 serial, 1 TCP/IP */))                             \
    X(AbrirPortaComunicacao, Byte, "i", (int port))                                                          \
    X(DefinirPadraoCartao, Ignored, "i", (int pattern))                                                      \
    X(HabilitarTeclado, Ignored, "ii", (int enable, int echo))                                               \
    X(ConfigurarAcionamento1, Ignored, "ii", (int function, int seconds))                                    \
    X(ConfigurarTipoLeitor, Ignored, "i", (int readerType))                                                  \
    X(ConfigurarLeitor1, Ignored, "i", (int operation))                                                      \
    X(ConfigurarLeitor2, Ignored, "i", (int operation))                                                      \
    X(DefinirQuantidadeDigitosCartao, Ignored, "i", (int digits))                                            \
    X(ReceberDataHoraDadosOnLine, Ignored, "i", (int enable))                                                \
    X(DefinirFuncaoDefaultSensorBiometria, Ignored, "i", (int function))                                     \
    X(Ping, Byte, "d", (int device))                                                                         \
    X(EnviarConfiguracoes, Byte, "d", (int device))                                                          \
    X(LiberarCatracaEntrada, Byte, "d", (int device))                                                        \
    X(LiberarCatracaSaida, Byte, "d", (int device))                                                          \
    X(LiberarCatracaEntradaInvertida, Byte, "d", (int device))                                               \
    X(LiberarCatracaSaidaInvertida, Byte, "d", (int device))                                                 \
    X(LiberarCatracaDoisSentidos, Byte, "d", (int device))                                                   \
    X(SolicitarListaUsuariosBio, Byte, "d", (int device))                                                    \
    X(ReceberPacoteListaUsuariosBio, Byte, "d", (int device))                                                \
    X(EnviarListaUsuariosSemDigitalBio, Byte, "d", (int device))                                             \
    X(EnviarRelogio, Byte, "diiiiii",                                                                        \
      (int device, int day, int month, int year, int hour, int minute, int second))                          \
    X(EnviarMensagemPadraoOnLine, Byte, "dit", (int device, int mode, const char* text))                     \
    X(EnviarMensagemTemporariaOnLine, Byte, "diti", (int device, int mode, const char* text, int seconds))   \
    X(EnviarFormasEntradasOnLine, Byte, "diiiii",                                                            \
      (int device, int digits, int keyboard, int forms, int timeout, int position))                          \
    X(ReceberDadosOnLine, Byte, "d",                                                                         \
      (int device, unsigned char* origin, unsigned char* complement, char* card /* 14 bytes */,             \
       unsigned char* day, unsigned char* month, unsigned char* year, unsigned char* hour,                   \
       unsigned char* minute, unsigned char* second))                                                        \
    X(TemProximoUsuario, Int32, "", (void))                                                                  \
    X(TemProximoPacote, Int32, "", (void))                                                                   \
    X(ReceberUsuarioLista, Byte, "d", (int device, unsigned char* entry /* 16 bytes */))                     \
    X(SolicitarExclusaoUsuario, Byte, "dt", (int device, const char* userCode))                              \
    X(UsuarioFoiExcluido, Byte, "di", (int device, int reserved))                                            \
    X(UsuarioFoiEnviado, Byte, "di", (int device, int reserved))                                             \
    X(EnviarUsuarioBio, Byte, "dt", (int device, const unsigned char* record /* 844 bytes */))               \
    X(IncluirUsuarioSemDigitalBio, Byte, "t", (const char* userCode))
// clang-format on

namespace zul::easyinner {

// The number of entry points in the list.
#define ZUL_EASYINNER_COUNT_ONE(Name, Result, Shape, Parameters) +1
inline constexpr std::size_t EntryPointCount = 0 ZUL_EASYINNER_ENTRY_POINTS(ZUL_EASYINNER_COUNT_ONE);
#undef ZUL_EASYINNER_COUNT_ONE
static_assert(EntryPointCount == 37, "the vendor library has 37 entry points");

} // namespace zul::easyinner
