// The on-screen help text: a fixed part and one line per loaded layout.
#include <stdio.h>
#include <string.h>

#include <string_view>

#include "conf.h"
#include "config/options_private.h"

extern "C" {
char strHELP[STRHELP_SIZE];
}

using namespace std::string_view_literals;

constexpr std::string_view strhelp_base =
    "СПРАВКА ПО УПРАВЛЕНИЮ ПРОГРАММОЙ\n"
    "\n"
    "-> КНОПКИ МЫШИ\n"
    "    <ЛЕВАЯ>  - окно на весь экран (вкл/выкл)\n"
    "    <ПРАВАЯ> - ПАУЗА/ИГРАТЬ\n"
    "\n"
    "-> КЛАВИАТУРА\n"
    "    <F1> - показать/скрыть эта справку\n"
    "    <стрелки> или </*-+> на НумПаде - выбор окна\n"
    "    <F> или <Enter> - окно на весь экран (вкл/выкл)\n"
    "    <пробел> или <.> на НумПаде - ПАУЗА/ИГРАТЬ (или <S>top/<P>lay)\n"
    "    F2 / <SHIFT>+<F2> - сохранить снимок камеры/экрана\n"
    "    <SHIFT>+<F9> - сброс \"тревог\" на камерах\n"
    "    <Esc>,<Q>,<X> - выход из программы\n"
    "\n"
    "    переключение на раскладки камер:\n"
    ""sv;

// Sizes are in bytes (UTF-8): the fixed part leaves the rest of the
// 2000-byte buffer to the layout lines.
static_assert(strhelp_base.size() == 814);
static_assert(sizeof(strHELP) == 2000);

void strhelp_reset(void)
{
    memset(strHELP, 0, sizeof strHELP);
    memcpy(strHELP, strhelp_base.data(), strhelp_base.size());
}

extern "C" void strhelp_add_layout(int nr, const char *name, int ncams)
{
    char line[499];
    int full = snprintf(line, sizeof line, "    <%d> -- \"%s\",  камер - %d шт.\n",
                        nr, name ? name : "", ncams);
    if (full < 0)
        return;
    size_t used = strnlen(strHELP, sizeof strHELP);
    // A line that does not fit whole is dropped; a shorter later one may
    // still be added.
    if (used + static_cast<size_t>(full) + 2 < sizeof strHELP)
        memcpy(strHELP + used, line, strlen(line) + 1);
}
