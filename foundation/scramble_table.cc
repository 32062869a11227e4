#include "foundation/scramble_table.h"

namespace wdx {
namespace {

// Drawn once from a fixed linear congruential sequence (a = 1664525, c = 1013904223, seed
// 0x5EED1990; character = 32 + (bits 16..31 mod 95)) and frozen here: never regenerate it.
constexpr char kScrambleTable[] =
    "G;$/r%!6o~zku>cTC2VNei3f8.4'0zGQ)<-w'xK@xQr;W:0xzMb2*W\\Wa=tJ#BofzN/X@1(J6j\\[/vw\\"
    "K[K8yOzM?Rw`,?vrDxN\\z}CG=$N9gU !a >stUEH&VJ*i,\\9nAmIKs-0ogCi~m?UkNWR8N=AbB,00Guu"
    "1-X7 9LrqiZD6IlZA3m#}e-9<{&,w-e O][DRp(Vl$*Kq(Bb|2'|x+*QLMp5u%.9=:KXgTxJDL;#v{5U"
    "!j4yfOz9v<m]IE)'>V,+=<s,4-+F/*AeJ[DJo7hWap^9n:vo5W ^2<vNZX:6D{}}8wAYG!?O ~_''&QA"
    "_}$)es4#~+Tig~z80zDb>rtyTO\\$vV 0|0 4h\\]P.ccLXdm278NwIr8B/*wkt7h,|0{Egp:H~ah@k#V\""
    "*;sB/$p}\"2IxI\"#3j_L27Q85xQ;]6pQ`JvC~| LoW~@.a$lxbs`'S]a!Oob34;l87uTSk!I\"P$wrKN[X"
    "Z|7F==f(M>A@#agonW?jQzeFuZ;IIYO;?@IIcfSb %gC|:`'jj+Py[{mv\"`!0p/sxL{!y0Iej%QGfi'y"
    "x=u=?qp})UXwt}Zj964MKPb~0W{c%|;k].MYw\"/=9rwGTcM7j<q[=6F_2{w>>SRJ'W\\vo1]nhcT+(6&V"
    "] AH\\4/-8k^-j_Z<)(,=b}7Npi1*\"@\"#C%ZKhY&Luf8!;WZVK{~(3!r%%<j7qMSZN*vN6UWfr!xikcC_"
    "oq$IRs2BgGJ6N-H>pP7$DN,e= d#_8:}LbJ9xe:!lUyW.s1 W5}`/h3SZU%I=1u03@mT-U,ct%K&=IAR"
    "?MCT=%5kGEx8y6y_B `/+[R[mkUbeYLLteV<N=c>eR#03Ap|, Lp\">lYX;}3JbB`%l(d~I+Z`;/:#_NC"
    "=\\l8A!gFmu6_\\YYK7&.7%Z~&vf5gj^M*e_Pl{kVf}Kb=2suE4l'iBs6>\"S9v^HV!lVr&k,D5 QI-S*,N"
    "c~N&q++O>xcVoqD^~fi66B8:!6u$H|t?zn])xJH^.?,akX~Vx^g}kO@SdMm{b 3l?f|Jk~tBq v1J[#g"
    "|'n dp ~tfepQcaAT8+ TY=8gUT[k~>eEkWgg|H:E4v dg9H\\,L}(3.LjgogLxyQf#qqeHp)kUc=Wsr0"
    "w&f(l#S\\WOi%stWDww?U)0LnYZ0=O.U4v/GK-V(ihs`%&4C#FT'V(.p0b2$(gG!HHs1VM;^4I,P%Jg-Y"
    "IntNc<%251N: IZ:g#ZDRl0q{RR@>S$^o#g{${o@c/$r'0$43JN.6:_t|\\y\"Q5(%Y7JQQZ8a'#z.@\\IU"
    "RaXYr8kh/1l>1*.5340X[q(R\"W &u1%kSXEli>gpwjV|cabe9O^QNGdD+=REn&wxZywH6VQ-eiD ]4\\!"
    "XeCP!,OSo@:;%v0?@\"p/pS g\"*kDzW C<y+`$-,`'3R?)CoVJ(@i<dAn'.tLe;>z{C 2\"T:O{@82,LF/"
    "+[be&2_05>>#kO^%@z7zBt5F &oBB8$GYuM.CW(`j>+_Q)6EMF$g3A*:zb&Jbc{Dd!)h82uquW1[*]K;"
    "L|FI'#4$`dSWv:CU>VgH31|JNY];y;U?/qig}RF[G6=?INyUVrDR* s~#}1!^p|C*>D0<e=_yuhYKvfe"
    "*{,$\"2SyGD0m!qztlvQ(.(x]o}uf.K/Ue>vm6YTE:gGaCDyhHO@%KWjQQ@PZ6(w8F3zhAs}|*&3Vu6`-"
    "llOE3yu>1p^#,p7!Ga)aD7=MQfXV^r/kvf,/dRyXWTn}WxXiQ4}+]kw9#k}*DN=K#Pn[T>*Pc];2H&_e"
    "Z\"E_7~=-0+$&`]Ir]\\|[e)*@^Ow}kW%`z%hzC.Xrz%K|b{1]_2(A4&r~0O`2D;'Evr+&_/WH5n:?g8?*"
    "$3P=JIRV~ZP4X5\\S5b-UefUHyy{Mb^)\"N30L6]%~%;g6n<@uv?_N'e5;;(`b**WGH72FX.Ly\"l.d1]ab"
    "M><\"dR.ip+n*T!0Nu?XgVQt3?w!P1tKeIfH.G)h Iv_(<npU+pWd$#C>zGMrxFKxKOJc18";

static_assert(sizeof(kScrambleTable) == SCRAMBLE_TABLE_LENGTH + 1);

}  // namespace

const char* GetScrambleTable() {
  return kScrambleTable;
}

}  // namespace wdx
