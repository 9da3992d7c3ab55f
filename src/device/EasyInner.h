#pragma once

#include <cstdint>

// The controller vendor's library: its 37 entry points with their argument lists. The
// library is loaded at run time and every entry point is looked up by name, so the
// prototypes below are never defined or linked; only their types are used to bind the
// looked-up addresses (see DeviceBinding::Call).

// The vendor builds its 32-bit Windows library with the standard calling convention; every
// other target has one convention only.
#if defined(_WIN32) && !defined(_WIN64)
#define ZUL_EASYINNER_CALL __stdcall
#else
#define ZUL_EASYINNER_CALL
#endif

namespace zul::easyinner {

using i32 = std::int32_t;
using u8 = std::uint8_t;

namespace prototypes {

// Every entry point returns a 32-bit register value; where the result is a byte, only its
// low 8 bits count (0 success, anything else the library's error code).
i32 ZUL_EASYINNER_CALL FecharPortaComunicacao();
i32 ZUL_EASYINNER_CALL ConfigurarInnerOnLine();
i32 ZUL_EASYINNER_CALL InicializarColetaListaUsuariosBio();
i32 ZUL_EASYINNER_CALL DefinirTipoConexao(i32 linkType);
i32 ZUL_EASYINNER_CALL AbrirPortaComunicacao(i32 port);
i32 ZUL_EASYINNER_CALL DefinirPadraoCartao(i32);
i32 ZUL_EASYINNER_CALL HabilitarTeclado(i32, i32);
i32 ZUL_EASYINNER_CALL ConfigurarAcionamento1(i32, i32);
i32 ZUL_EASYINNER_CALL ConfigurarTipoLeitor(i32);
i32 ZUL_EASYINNER_CALL ConfigurarLeitor1(i32);
i32 ZUL_EASYINNER_CALL ConfigurarLeitor2(i32);
i32 ZUL_EASYINNER_CALL DefinirQuantidadeDigitosCartao(i32);
i32 ZUL_EASYINNER_CALL ReceberDataHoraDadosOnLine(i32);
i32 ZUL_EASYINNER_CALL DefinirFuncaoDefaultSensorBiometria(i32);
i32 ZUL_EASYINNER_CALL Ping(i32 dev);
i32 ZUL_EASYINNER_CALL EnviarConfiguracoes(i32 dev);
i32 ZUL_EASYINNER_CALL LiberarCatracaEntrada(i32 dev);
i32 ZUL_EASYINNER_CALL LiberarCatracaSaida(i32 dev);
i32 ZUL_EASYINNER_CALL LiberarCatracaEntradaInvertida(i32 dev);
i32 ZUL_EASYINNER_CALL LiberarCatracaSaidaInvertida(i32 dev);
i32 ZUL_EASYINNER_CALL LiberarCatracaDoisSentidos(i32 dev);
i32 ZUL_EASYINNER_CALL SolicitarListaUsuariosBio(i32 dev);
i32 ZUL_EASYINNER_CALL ReceberPacoteListaUsuariosBio(i32 dev);
i32 ZUL_EASYINNER_CALL EnviarListaUsuariosSemDigitalBio(i32 dev);
i32 ZUL_EASYINNER_CALL EnviarRelogio(i32 dev, i32 day, i32 month, i32 year, i32 hour, i32 minute, i32 second);
i32 ZUL_EASYINNER_CALL EnviarMensagemPadraoOnLine(i32 dev, i32 mode, const char* text);
i32 ZUL_EASYINNER_CALL EnviarMensagemTemporariaOnLine(i32 dev, i32 mode, const char* text, i32);
i32 ZUL_EASYINNER_CALL EnviarFormasEntradasOnLine(i32 dev, i32, i32, i32 forms, i32, i32);
i32 ZUL_EASYINNER_CALL ReceberDadosOnLine(i32 dev, u8* origin, u8* complement, char* card, u8* day, u8* month,
                                          u8* year, u8* hour, u8* minute, u8* second);
i32 ZUL_EASYINNER_CALL TemProximoUsuario();
i32 ZUL_EASYINNER_CALL TemProximoPacote();
i32 ZUL_EASYINNER_CALL ReceberUsuarioLista(i32 dev, u8* entry16);
i32 ZUL_EASYINNER_CALL SolicitarExclusaoUsuario(i32 dev, const char* userCode);
i32 ZUL_EASYINNER_CALL UsuarioFoiExcluido(i32 dev, i32);
i32 ZUL_EASYINNER_CALL UsuarioFoiEnviado(i32 dev, i32);
i32 ZUL_EASYINNER_CALL EnviarUsuarioBio(i32 dev, const u8* record844);
i32 ZUL_EASYINNER_CALL IncluirUsuarioSemDigitalBio(const char* userCode);

} // namespace prototypes

// What a caller may make of an entry point's return value.
enum class ResultKind {
    Ignored, // nothing meaningful is returned
    Byte,    // the low 8 bits: 0 success, else an error code
    Int32    // a whole 32-bit value (nonzero = more to come)
};

// One tag type per entry point: its exported name, its pointer type taken from the prototype
// and the kind of its result. DeviceBinding::Call<easyinner::Ping>(DeviceNumber) binds and
// calls it with the arguments checked by the compiler.
#define ZUL_EASYINNER_ENTRY(Name, Kind)                                                                      \
    struct Name                                                                                              \
    {                                                                                                        \
        using Pointer = decltype(&prototypes::Name);                                                         \
        static constexpr const char* name = #Name;                                                           \
        static constexpr ResultKind kind = ResultKind::Kind;                                                 \
    };

ZUL_EASYINNER_ENTRY(FecharPortaComunicacao, Ignored)
ZUL_EASYINNER_ENTRY(ConfigurarInnerOnLine, Ignored)
ZUL_EASYINNER_ENTRY(InicializarColetaListaUsuariosBio, Ignored)
ZUL_EASYINNER_ENTRY(DefinirTipoConexao, Ignored)
ZUL_EASYINNER_ENTRY(AbrirPortaComunicacao, Byte)
ZUL_EASYINNER_ENTRY(DefinirPadraoCartao, Ignored)
ZUL_EASYINNER_ENTRY(HabilitarTeclado, Ignored)
ZUL_EASYINNER_ENTRY(ConfigurarAcionamento1, Ignored)
ZUL_EASYINNER_ENTRY(ConfigurarTipoLeitor, Ignored)
ZUL_EASYINNER_ENTRY(ConfigurarLeitor1, Ignored)
ZUL_EASYINNER_ENTRY(ConfigurarLeitor2, Ignored)
ZUL_EASYINNER_ENTRY(DefinirQuantidadeDigitosCartao, Ignored)
ZUL_EASYINNER_ENTRY(ReceberDataHoraDadosOnLine, Ignored)
ZUL_EASYINNER_ENTRY(DefinirFuncaoDefaultSensorBiometria, Ignored)
ZUL_EASYINNER_ENTRY(Ping, Byte)
ZUL_EASYINNER_ENTRY(EnviarConfiguracoes, Byte)
ZUL_EASYINNER_ENTRY(LiberarCatracaEntrada, Byte)
ZUL_EASYINNER_ENTRY(LiberarCatracaSaida, Byte)
ZUL_EASYINNER_ENTRY(LiberarCatracaEntradaInvertida, Byte)
ZUL_EASYINNER_ENTRY(LiberarCatracaSaidaInvertida, Byte)
ZUL_EASYINNER_ENTRY(LiberarCatracaDoisSentidos, Byte)
ZUL_EASYINNER_ENTRY(SolicitarListaUsuariosBio, Byte)
ZUL_EASYINNER_ENTRY(ReceberPacoteListaUsuariosBio, Byte)
ZUL_EASYINNER_ENTRY(EnviarListaUsuariosSemDigitalBio, Byte)
ZUL_EASYINNER_ENTRY(EnviarRelogio, Byte)
ZUL_EASYINNER_ENTRY(EnviarMensagemPadraoOnLine, Byte)
ZUL_EASYINNER_ENTRY(EnviarMensagemTemporariaOnLine, Byte)
ZUL_EASYINNER_ENTRY(EnviarFormasEntradasOnLine, Byte)
ZUL_EASYINNER_ENTRY(ReceberDadosOnLine, Byte)
ZUL_EASYINNER_ENTRY(TemProximoUsuario, Int32)
ZUL_EASYINNER_ENTRY(TemProximoPacote, Int32)
ZUL_EASYINNER_ENTRY(ReceberUsuarioLista, Byte)
ZUL_EASYINNER_ENTRY(SolicitarExclusaoUsuario, Byte)
ZUL_EASYINNER_ENTRY(UsuarioFoiExcluido, Byte)
ZUL_EASYINNER_ENTRY(UsuarioFoiEnviado, Byte)
ZUL_EASYINNER_ENTRY(EnviarUsuarioBio, Byte)
ZUL_EASYINNER_ENTRY(IncluirUsuarioSemDigitalBio, Byte)

#undef ZUL_EASYINNER_ENTRY

// The record ReceberDadosOnLine fills, field by field, in this order.
struct OnlineEvent
{
    u8 Origin = 0;
    u8 Complement = 0;
    char Card[14] = {}; // the first 10 bytes hold the identification number
    u8 Day = 0;
    u8 Month = 0;
    u8 Year = 0; // last two digits
    u8 Hour = 0;
    u8 Minute = 0;
    u8 Second = 0;
};

} // namespace zul::easyinner
