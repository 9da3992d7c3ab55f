#pragma once

// The entry points of the stand-in device library, as a program binds them by name.
//
// Every argument is a 32-bit integer or an address; every result is a 32-bit int. A "byte"
// result uses only its low 8 bits (0 success, anything else an error code; see
// sim/PROTOCOL.md), so a caller that reads only those bits and one that reads the whole int
// see the same value. Results of the setting calls carry no meaning (always 0).
// On 32-bit Windows the entry points use the __stdcall convention with undecorated names.

#if defined(_WIN32) && !defined(_WIN64)
#define EASYINNER_CALL __stdcall
#else
#define EASYINNER_CALL
#endif

#if defined(EASYINNER_BUILD)
#if defined(_WIN32)
#define EASYINNER_API __declspec(dllexport)
#else
#define EASYINNER_API __attribute__((visibility("default")))
#endif
#else
#define EASYINNER_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Link.
EASYINNER_API int EASYINNER_CALL DefinirTipoConexao(int linkType); // 0 serial, 1 TCP/IP
EASYINNER_API int EASYINNER_CALL AbrirPortaComunicacao(int port);
EASYINNER_API int EASYINNER_CALL FecharPortaComunicacao(void);
EASYINNER_API int EASYINNER_CALL Ping(int device);

// Settings handed to the library, sent to the controller by EnviarConfiguracoes.
EASYINNER_API int EASYINNER_CALL DefinirPadraoCartao(int pattern);
EASYINNER_API int EASYINNER_CALL ConfigurarInnerOnLine(void);
EASYINNER_API int EASYINNER_CALL HabilitarTeclado(int enable, int echo);
EASYINNER_API int EASYINNER_CALL ConfigurarAcionamento1(int function, int seconds);
EASYINNER_API int EASYINNER_CALL ConfigurarTipoLeitor(int readerType);
EASYINNER_API int EASYINNER_CALL ConfigurarLeitor1(int operation);
EASYINNER_API int EASYINNER_CALL ConfigurarLeitor2(int operation);
EASYINNER_API int EASYINNER_CALL DefinirQuantidadeDigitosCartao(int digits);
EASYINNER_API int EASYINNER_CALL ReceberDataHoraDadosOnLine(int enable);
EASYINNER_API int EASYINNER_CALL DefinirFuncaoDefaultSensorBiometria(int function);
EASYINNER_API int EASYINNER_CALL EnviarConfiguracoes(int device);

// Online operation.
EASYINNER_API int EASYINNER_CALL EnviarRelogio(int device, int day, int month, int year, int hour, int minute,
                                               int second);
EASYINNER_API int EASYINNER_CALL EnviarMensagemPadraoOnLine(int device, int mode, const char* text);
EASYINNER_API int EASYINNER_CALL EnviarMensagemTemporariaOnLine(int device, int mode, const char* text,
                                                                int seconds);
EASYINNER_API int EASYINNER_CALL EnviarFormasEntradasOnLine(int device, int digits, int keyboard, int forms,
                                                            int timeout, int position);
EASYINNER_API int EASYINNER_CALL ReceberDadosOnLine(int device, unsigned char* origin,
                                                    unsigned char* complement,
                                                    unsigned char* card /* 14 bytes */, unsigned char* day,
                                                    unsigned char* month, unsigned char* year,
                                                    unsigned char* hour, unsigned char* minute,
                                                    unsigned char* second);
EASYINNER_API int EASYINNER_CALL LiberarCatracaEntrada(int device);
EASYINNER_API int EASYINNER_CALL LiberarCatracaSaida(int device);
EASYINNER_API int EASYINNER_CALL LiberarCatracaEntradaInvertida(int device);
EASYINNER_API int EASYINNER_CALL LiberarCatracaSaidaInvertida(int device);
EASYINNER_API int EASYINNER_CALL LiberarCatracaDoisSentidos(int device);

// Biometric users.
EASYINNER_API int EASYINNER_CALL InicializarColetaListaUsuariosBio(void);
EASYINNER_API int EASYINNER_CALL TemProximoPacote(void);
EASYINNER_API int EASYINNER_CALL SolicitarListaUsuariosBio(int device);
EASYINNER_API int EASYINNER_CALL ReceberPacoteListaUsuariosBio(int device);
EASYINNER_API int EASYINNER_CALL TemProximoUsuario(void);
EASYINNER_API int EASYINNER_CALL ReceberUsuarioLista(int device, unsigned char* entry /* 16 bytes */);
EASYINNER_API int EASYINNER_CALL IncluirUsuarioSemDigitalBio(const char* userCode);
EASYINNER_API int EASYINNER_CALL EnviarListaUsuariosSemDigitalBio(int device);
EASYINNER_API int EASYINNER_CALL EnviarUsuarioBio(int device, const unsigned char* record /* 844 bytes */);
EASYINNER_API int EASYINNER_CALL UsuarioFoiEnviado(int device, int reserved);
EASYINNER_API int EASYINNER_CALL SolicitarExclusaoUsuario(int device, const char* userCode);
EASYINNER_API int EASYINNER_CALL UsuarioFoiExcluido(int device, int reserved);

#ifdef __cplusplus
}
#endif
