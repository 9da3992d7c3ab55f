// The stand-in device library: each entry point becomes one request to the simulator (or a
// setting noted for the next request), and every reply is checked before a byte of it
// reaches the caller's buffers.
//
// A variant of the library without some entry points is built with EASYINNER_OMIT_<name>
// defined for each of them (see sim/CMakeLists.txt): the names are then really absent from
// the export table, as in an older version of the vendor library.

#define EASYINNER_BUILD
#include "lib/EasyInner.h"

#include "lib/Link.h"
#include "protocol/Wire.h"

#include <cstring>
#include <string>

using sim::Link;
namespace code = sim::code;
namespace wire = sim::wire;

namespace {

std::string ints(std::initializer_list<int> values)
{
    std::string out;
    for (const int v : values)
        out += " " + std::to_string(v);
    return out;
}

// Texts longer than this cannot be meant for a 2x16 display or a 10-character user code.
constexpr std::size_t kMaxText = 512;

bool text(const char* value, std::string& out)
{
    if (value == nullptr)
        return false;
    const std::size_t length = ::strnlen(value, kMaxText + 1);
    if (length > kMaxText)
        return false;
    out = " " + wire::hex(std::string_view(value, length));
    return true;
}

int byteCall(const char* name, const std::string& args)
{
    return Link::instance().call(name, args).result;
}

int deviceCall(const char* name, int device)
{
    return byteCall(name, ints({device}));
}

int hasNext(const char* name)
{
    // The simulator answers 0 or 1; anything else (or no answer) means "nothing more".
    const sim::Reply reply = Link::instance().call(name, "", 0, 0, 1);
    return reply.result == 1 ? 1 : 0;
}

bool byteValue(const std::string& token, unsigned char& out)
{
    const auto value = wire::integer(token);
    if (!value || *value < 0 || *value > 255)
        return false;
    out = static_cast<unsigned char>(*value);
    return true;
}

} // namespace

extern "C" {

#ifndef EASYINNER_OMIT_DefinirTipoConexao
int EASYINNER_CALL DefinirTipoConexao(int linkType)
{
    Link::instance().setLinkType(linkType);
    Link::instance().note("DefinirTipoConexao", ints({linkType}));
    return 0;
}
#endif

#ifndef EASYINNER_OMIT_AbrirPortaComunicacao
int EASYINNER_CALL AbrirPortaComunicacao(int port)
{
    return Link::instance().open(port);
}
#endif

#ifndef EASYINNER_OMIT_FecharPortaComunicacao
int EASYINNER_CALL FecharPortaComunicacao(void)
{
    Link::instance().close();
    return 0;
}
#endif

#ifndef EASYINNER_OMIT_Ping
int EASYINNER_CALL Ping(int device)
{
    return deviceCall("Ping", device);
}
#endif

#define ZUL_SETTING_0(Name)                                                                                  \
    int EASYINNER_CALL Name(void)                                                                            \
    {                                                                                                        \
        Link::instance().note(#Name, "");                                                                    \
        return 0;                                                                                            \
    }
#define ZUL_SETTING_1(Name)                                                                                  \
    int EASYINNER_CALL Name(int a)                                                                           \
    {                                                                                                        \
        Link::instance().note(#Name, ints({a}));                                                             \
        return 0;                                                                                            \
    }
#define ZUL_SETTING_2(Name)                                                                                  \
    int EASYINNER_CALL Name(int a, int b)                                                                    \
    {                                                                                                        \
        Link::instance().note(#Name, ints({a, b}));                                                          \
        return 0;                                                                                            \
    }

#ifndef EASYINNER_OMIT_DefinirPadraoCartao
ZUL_SETTING_1(DefinirPadraoCartao)
#endif
#ifndef EASYINNER_OMIT_ConfigurarInnerOnLine
ZUL_SETTING_0(ConfigurarInnerOnLine)
#endif
#ifndef EASYINNER_OMIT_HabilitarTeclado
ZUL_SETTING_2(HabilitarTeclado)
#endif
#ifndef EASYINNER_OMIT_ConfigurarAcionamento1
ZUL_SETTING_2(ConfigurarAcionamento1)
#endif
#ifndef EASYINNER_OMIT_ConfigurarTipoLeitor
ZUL_SETTING_1(ConfigurarTipoLeitor)
#endif
#ifndef EASYINNER_OMIT_ConfigurarLeitor1
ZUL_SETTING_1(ConfigurarLeitor1)
#endif
#ifndef EASYINNER_OMIT_ConfigurarLeitor2
ZUL_SETTING_1(ConfigurarLeitor2)
#endif
#ifndef EASYINNER_OMIT_DefinirQuantidadeDigitosCartao
ZUL_SETTING_1(DefinirQuantidadeDigitosCartao)
#endif
#ifndef EASYINNER_OMIT_ReceberDataHoraDadosOnLine
ZUL_SETTING_1(ReceberDataHoraDadosOnLine)
#endif
#ifndef EASYINNER_OMIT_DefinirFuncaoDefaultSensorBiometria
ZUL_SETTING_1(DefinirFuncaoDefaultSensorBiometria)
#endif
#ifndef EASYINNER_OMIT_InicializarColetaListaUsuariosBio
ZUL_SETTING_0(InicializarColetaListaUsuariosBio)
#endif

#ifndef EASYINNER_OMIT_EnviarConfiguracoes
int EASYINNER_CALL EnviarConfiguracoes(int device)
{
    return deviceCall("EnviarConfiguracoes", device);
}
#endif

#ifndef EASYINNER_OMIT_EnviarRelogio
int EASYINNER_CALL EnviarRelogio(int device, int day, int month, int year, int hour, int minute, int second)
{
    return byteCall("EnviarRelogio", ints({device, day, month, year, hour, minute, second}));
}
#endif

#ifndef EASYINNER_OMIT_EnviarMensagemPadraoOnLine
int EASYINNER_CALL EnviarMensagemPadraoOnLine(int device, int mode, const char* message)
{
    std::string encoded;
    if (!text(message, encoded))
        return code::BadArgument;
    return byteCall("EnviarMensagemPadraoOnLine", ints({device, mode}) + encoded);
}
#endif

#ifndef EASYINNER_OMIT_EnviarMensagemTemporariaOnLine
int EASYINNER_CALL EnviarMensagemTemporariaOnLine(int device, int mode, const char* message, int seconds)
{
    std::string encoded;
    if (!text(message, encoded))
        return code::BadArgument;
    return byteCall("EnviarMensagemTemporariaOnLine", ints({device, mode}) + encoded + ints({seconds}));
}
#endif

#ifndef EASYINNER_OMIT_EnviarFormasEntradasOnLine
int EASYINNER_CALL EnviarFormasEntradasOnLine(int device, int digits, int keyboard, int forms, int timeout,
                                              int position)
{
    return byteCall("EnviarFormasEntradasOnLine", ints({device, digits, keyboard, forms, timeout, position}));
}
#endif

#ifndef EASYINNER_OMIT_ReceberDadosOnLine
int EASYINNER_CALL ReceberDadosOnLine(int device, unsigned char* origin, unsigned char* complement,
                                      char* card, unsigned char* day, unsigned char* month,
                                      unsigned char* year, unsigned char* hour, unsigned char* minute,
                                      unsigned char* second)
{
    unsigned char* const fields[] = {origin, complement, day, month, year, hour, minute, second};
    if (card == nullptr)
        return code::BadArgument;
    for (auto* field : fields) {
        if (field == nullptr)
            return code::BadArgument;
    }
    const sim::Reply reply = Link::instance().call("ReceberDadosOnLine", ints({device}), 9);
    if (reply.result != code::Ok)
        return reply.result;
    // Everything is checked before anything is written: a bad reply leaves the buffers alone.
    unsigned char values[8];
    const auto cardBytes = wire::unhex(reply.outputs[2]);
    if (!byteValue(reply.outputs[0], values[0]) || !byteValue(reply.outputs[1], values[1]) || !cardBytes ||
        cardBytes->size() != sim::kCardSize)
        return code::BadReply;
    for (std::size_t i = 2; i < 8; ++i) {
        if (!byteValue(reply.outputs[i + 1], values[i]))
            return code::BadReply;
    }
    for (std::size_t i = 0; i < 8; ++i)
        *fields[i] = values[i];
    std::memcpy(card, cardBytes->data(), sim::kCardSize);
    return code::Ok;
}
#endif

#ifndef EASYINNER_OMIT_LiberarCatracaEntrada
int EASYINNER_CALL LiberarCatracaEntrada(int device)
{
    return deviceCall("LiberarCatracaEntrada", device);
}
#endif
#ifndef EASYINNER_OMIT_LiberarCatracaSaida
int EASYINNER_CALL LiberarCatracaSaida(int device)
{
    return deviceCall("LiberarCatracaSaida", device);
}
#endif
#ifndef EASYINNER_OMIT_LiberarCatracaEntradaInvertida
int EASYINNER_CALL LiberarCatracaEntradaInvertida(int device)
{
    return deviceCall("LiberarCatracaEntradaInvertida", device);
}
#endif
#ifndef EASYINNER_OMIT_LiberarCatracaSaidaInvertida
int EASYINNER_CALL LiberarCatracaSaidaInvertida(int device)
{
    return deviceCall("LiberarCatracaSaidaInvertida", device);
}
#endif
#ifndef EASYINNER_OMIT_LiberarCatracaDoisSentidos
int EASYINNER_CALL LiberarCatracaDoisSentidos(int device)
{
    return deviceCall("LiberarCatracaDoisSentidos", device);
}
#endif

#ifndef EASYINNER_OMIT_TemProximoPacote
int EASYINNER_CALL TemProximoPacote(void)
{
    return hasNext("TemProximoPacote");
}
#endif
#ifndef EASYINNER_OMIT_SolicitarListaUsuariosBio
int EASYINNER_CALL SolicitarListaUsuariosBio(int device)
{
    return deviceCall("SolicitarListaUsuariosBio", device);
}
#endif
#ifndef EASYINNER_OMIT_ReceberPacoteListaUsuariosBio
int EASYINNER_CALL ReceberPacoteListaUsuariosBio(int device)
{
    return deviceCall("ReceberPacoteListaUsuariosBio", device);
}
#endif
#ifndef EASYINNER_OMIT_TemProximoUsuario
int EASYINNER_CALL TemProximoUsuario(void)
{
    return hasNext("TemProximoUsuario");
}
#endif

#ifndef EASYINNER_OMIT_ReceberUsuarioLista
int EASYINNER_CALL ReceberUsuarioLista(int device, unsigned char* entry)
{
    if (entry == nullptr)
        return code::BadArgument;
    const sim::Reply reply = Link::instance().call("ReceberUsuarioLista", ints({device}), 1);
    if (reply.result != code::Ok)
        return reply.result;
    const auto bytes = wire::unhex(reply.outputs[0]);
    if (!bytes || bytes->size() != sim::kListEntrySize)
        return code::BadReply;
    std::memcpy(entry, bytes->data(), sim::kListEntrySize);
    return code::Ok;
}
#endif

#ifndef EASYINNER_OMIT_IncluirUsuarioSemDigitalBio
int EASYINNER_CALL IncluirUsuarioSemDigitalBio(const char* userCode)
{
    std::string encoded;
    if (!text(userCode, encoded))
        return code::BadArgument;
    return byteCall("IncluirUsuarioSemDigitalBio", encoded);
}
#endif
#ifndef EASYINNER_OMIT_EnviarListaUsuariosSemDigitalBio
int EASYINNER_CALL EnviarListaUsuariosSemDigitalBio(int device)
{
    return deviceCall("EnviarListaUsuariosSemDigitalBio", device);
}
#endif
#ifndef EASYINNER_OMIT_EnviarUsuarioBio
int EASYINNER_CALL EnviarUsuarioBio(int device, const unsigned char* record)
{
    if (record == nullptr)
        return code::BadArgument;
    const std::string bytes(reinterpret_cast<const char*>(record), sim::kRecordSize);
    return byteCall("EnviarUsuarioBio", ints({device}) + " " + wire::hex(bytes));
}
#endif
#ifndef EASYINNER_OMIT_UsuarioFoiEnviado
int EASYINNER_CALL UsuarioFoiEnviado(int device, int reserved)
{
    return byteCall("UsuarioFoiEnviado", ints({device, reserved}));
}
#endif
#ifndef EASYINNER_OMIT_SolicitarExclusaoUsuario
int EASYINNER_CALL SolicitarExclusaoUsuario(int device, const char* userCode)
{
    std::string encoded;
    if (!text(userCode, encoded))
        return code::BadArgument;
    return byteCall("SolicitarExclusaoUsuario", ints({device}) + encoded);
}
#endif
#ifndef EASYINNER_OMIT_UsuarioFoiExcluido
int EASYINNER_CALL UsuarioFoiExcluido(int device, int reserved)
{
    return byteCall("UsuarioFoiExcluido", ints({device, reserved}));
}
#endif

} // extern "C"
