// The SQL lexer: cuts an SQL script (or a dataset filter text) into commands at ';' and each
// command into tokens, resolving ':name' parameters to copies of their values while it reads.
// Also the named parameters of an SQL text (TTarnexSQLParam, TTarnexSQLParams).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/access/TarnexVariant.h"

class TTarnexStream;

// ---------------------------------------------------------------------------------------------
// Parameters
// ---------------------------------------------------------------------------------------------

// A named value of an SQL statement.
class TTarnexSQLParam : public TTarnexVariant {
public:
  explicit TTarnexSQLParam(TTarnexDataType dataType = TTarnexDataType::Unknown) : TTarnexVariant(dataType) {}

  // Stream form: the name's length (int32, little-endian), the name's bytes, then the value in
  // the value stream form. Short transfers raise 10187 / 10188 (writing length / name) and
  // 10189 / 10190 (reading); a negative length, or one beyond the bytes the stream still
  // holds, raises 10190 (the short read of the name) before anything is allocated.
  void LoadFromStream(TTarnexStream& stream) override;
  void SaveToStream(TTarnexStream& stream) const override;
  // Copies the value (as TTarnexVariant::Assign) and, when other is a TTarnexSQLParam, its Name.
  void Assign(const TTarnexVariant& other, bool copy) override;

  std::string Name;  // compared ignoring case (locale upper-casing)
};

// The ordered parameters of an SQL text; owns them.
class TTarnexSQLParams {
public:
  TTarnexSQLParams() = default;
  TTarnexSQLParams(const TTarnexSQLParams&) = delete;
  TTarnexSQLParams& operator=(const TTarnexSQLParams&) = delete;

  int32_t Count() const { return static_cast<int32_t>(Items_.size()); }
  // The parameter at index (not owned by the caller); ERangeError outside 0..Count()-1.
  TTarnexSQLParam* Items(int32_t index) const;
  // Appends a new empty (untyped, null, unnamed) parameter and returns it.
  TTarnexSQLParam* AddParam();
  void Clear();  // frees every parameter
  // The first parameter whose name equals `name` ignoring case (locale upper-casing), or nil.
  TTarnexSQLParam* FindParam(const std::string& name) const;

private:
  std::vector<std::unique_ptr<TTarnexSQLParam>> Items_;  // owned, in order of addition
};

// ---------------------------------------------------------------------------------------------
// Tokens
// ---------------------------------------------------------------------------------------------

// Token kinds (stored as a byte; keep the order).
enum class TTokenType : uint8_t {
  tktNone,              // no token: what reading past the end gives
  tktString,            // a word or an operator
  tktQuotedString,      // between single quotes or between double quotes
  tktBracketedString,   // between square brackets
  tktInt,
  tktFloat,
  tktReservedWord,
  tktParameter,         // ':name'; Text is the name without the colon
  tktLeftParenthesis,
  tktRightParenthesis,
  tktComma,
  tktDot,
};
// The kind's name as written above ("tktNone", "tktString", ...), for messages.
const char* TokenTypeName(TTokenType type);

// The reserved-word table: an entry's position is the word's number.
constexpr int16_t ReservedWordCount = 265;
constexpr int16_t NoReservedWord = 265;  // ReservedWord of every token that is not a reserved word
extern const char* const ReservedWords[ReservedWordCount];
// The number of the reserved word `text` upper-cases to, or NoReservedWord.
int16_t FindReservedWord(const std::string& text);

// Numbers of the reserved words (their positions in ReservedWords); END-EXEC is rwEND_EXEC.
constexpr int16_t rwABSOLUTE = 0; constexpr int16_t rwACTION = 1; constexpr int16_t rwADD = 2;
constexpr int16_t rwALL = 3; constexpr int16_t rwALLOCATE = 4; constexpr int16_t rwALTER = 5;
constexpr int16_t rwAND = 6; constexpr int16_t rwANY = 7; constexpr int16_t rwARE = 8;
constexpr int16_t rwAS = 9; constexpr int16_t rwASC = 10; constexpr int16_t rwASSERTION = 11;
constexpr int16_t rwAT = 12; constexpr int16_t rwAUTHORIZATION = 13; constexpr int16_t rwAVG = 14;
constexpr int16_t rwBEGIN = 15; constexpr int16_t rwBETWEEN = 16; constexpr int16_t rwBIT = 17;
constexpr int16_t rwBIT_LENGTH = 18; constexpr int16_t rwBOTH = 19; constexpr int16_t rwBY = 20;
constexpr int16_t rwCASCADE = 21; constexpr int16_t rwCASCADED = 22; constexpr int16_t rwCASE = 23;
constexpr int16_t rwCAST = 24; constexpr int16_t rwCATALOG = 25; constexpr int16_t rwCHAR = 26;
constexpr int16_t rwCHARACTER = 27; constexpr int16_t rwCHAR_LENGTH = 28;
constexpr int16_t rwCHARACTER_LENGTH = 29; constexpr int16_t rwCHECK = 30;
constexpr int16_t rwCLOSE = 31; constexpr int16_t rwCOALESCE = 32;
constexpr int16_t rwCOLLATE = 33; constexpr int16_t rwCOLLATION = 34;
constexpr int16_t rwCOLUMN = 35; constexpr int16_t rwCOMMIT = 36; constexpr int16_t rwCONNECT = 37;
constexpr int16_t rwCONNECTION = 38; constexpr int16_t rwCONSTRAINT = 39;
constexpr int16_t rwCONSTRAINTS = 40; constexpr int16_t rwCONTINUE = 41;
constexpr int16_t rwCONVERT = 42; constexpr int16_t rwCORRESPONDING = 43;
constexpr int16_t rwCOUNT = 44; constexpr int16_t rwCREATE = 45; constexpr int16_t rwCROSS = 46;
constexpr int16_t rwCURRENT = 47; constexpr int16_t rwCURRENT_DATE = 48;
constexpr int16_t rwCURRENT_TIME = 49; constexpr int16_t rwCURRENT_TIMESTAMP = 50;
constexpr int16_t rwCURRENT_USER = 51; constexpr int16_t rwCURSOR = 52;
constexpr int16_t rwDATE = 53; constexpr int16_t rwDAY = 54; constexpr int16_t rwDEALLOCATE = 55;
constexpr int16_t rwDEC = 56; constexpr int16_t rwDECIMAL = 57; constexpr int16_t rwDECLARE = 58;
constexpr int16_t rwDEFAULT = 59; constexpr int16_t rwDEFERRABLE = 60;
constexpr int16_t rwDEFERRED = 61; constexpr int16_t rwDELETE = 62; constexpr int16_t rwDESC = 63;
constexpr int16_t rwDESCRIBE = 64; constexpr int16_t rwDESCRIPTOR = 65;
constexpr int16_t rwDIAGNOSTICS = 66; constexpr int16_t rwDISCONNECT = 67;
constexpr int16_t rwDISTINCT = 68; constexpr int16_t rwDOMAIN = 69;
constexpr int16_t rwDOUBLE = 70; constexpr int16_t rwDROP = 71; constexpr int16_t rwELSE = 72;
constexpr int16_t rwEND = 73; constexpr int16_t rwEND_EXEC = 74; constexpr int16_t rwESCAPE = 75;
constexpr int16_t rwEXCEPT = 76; constexpr int16_t rwEXCEPTION = 77; constexpr int16_t rwEXEC = 78;
constexpr int16_t rwEXECUTE = 79; constexpr int16_t rwEXISTS = 80;
constexpr int16_t rwEXTERNAL = 81; constexpr int16_t rwEXTRACT = 82;
constexpr int16_t rwFALSE = 83; constexpr int16_t rwFETCH = 84; constexpr int16_t rwFIRST = 85;
constexpr int16_t rwFLOAT = 86; constexpr int16_t rwFOR = 87; constexpr int16_t rwFOREIGN = 88;
constexpr int16_t rwFOUND = 89; constexpr int16_t rwFROM = 90; constexpr int16_t rwFULL = 91;
constexpr int16_t rwGET = 92; constexpr int16_t rwGLOBAL = 93; constexpr int16_t rwGO = 94;
constexpr int16_t rwGOTO = 95; constexpr int16_t rwGRANT = 96; constexpr int16_t rwGROUP = 97;
constexpr int16_t rwHEX = 98; constexpr int16_t rwHAVING = 99; constexpr int16_t rwHOUR = 100;
constexpr int16_t rwIDENTITY = 101; constexpr int16_t rwIF = 102;
constexpr int16_t rwIMMEDIATE = 103; constexpr int16_t rwIN = 104;
constexpr int16_t rwINDICATOR = 105; constexpr int16_t rwINITIALLY = 106;
constexpr int16_t rwINNER = 107; constexpr int16_t rwINPUT = 108;
constexpr int16_t rwINSENSITIVE = 109; constexpr int16_t rwINSERT = 110;
constexpr int16_t rwINT = 111; constexpr int16_t rwINTEGER = 112;
constexpr int16_t rwINTERSECT = 113; constexpr int16_t rwINTERVAL = 114;
constexpr int16_t rwINTO = 115; constexpr int16_t rwIS = 116; constexpr int16_t rwISOLATION = 117;
constexpr int16_t rwJOIN = 118; constexpr int16_t rwKEY = 119; constexpr int16_t rwLANGUAGE = 120;
constexpr int16_t rwLAST = 121; constexpr int16_t rwLEADING = 122; constexpr int16_t rwLEFT = 123;
constexpr int16_t rwLEVEL = 124; constexpr int16_t rwLIKE = 125; constexpr int16_t rwLOCAL = 126;
constexpr int16_t rwLOWER = 127; constexpr int16_t rwMATCH = 128; constexpr int16_t rwMAX = 129;
constexpr int16_t rwMEMORY = 130; constexpr int16_t rwMIME64 = 131; constexpr int16_t rwMIN = 132;
constexpr int16_t rwMINUS = 133; constexpr int16_t rwMINUTE = 134;
constexpr int16_t rwMODULE = 135; constexpr int16_t rwMONTH = 136; constexpr int16_t rwNAMES = 137;
constexpr int16_t rwNATIONAL = 138; constexpr int16_t rwNATURAL = 139;
constexpr int16_t rwNCHAR = 140; constexpr int16_t rwNEXT = 141; constexpr int16_t rwNO = 142;
constexpr int16_t rwNOFLUSH = 143; constexpr int16_t rwNOT = 144; constexpr int16_t rwNULL = 145;
constexpr int16_t rwNULLIF = 146; constexpr int16_t rwNUMERIC = 147;
constexpr int16_t rwOCTET_LENGTH = 148; constexpr int16_t rwOF = 149; constexpr int16_t rwON = 150;
constexpr int16_t rwONLY = 151; constexpr int16_t rwOPEN = 152; constexpr int16_t rwOPTION = 153;
constexpr int16_t rwOR = 154; constexpr int16_t rwORDER = 155; constexpr int16_t rwOUTER = 156;
constexpr int16_t rwOUTPUT = 157; constexpr int16_t rwOVERLAPS = 158;
constexpr int16_t rwPAD = 159; constexpr int16_t rwPARTIAL = 160;
constexpr int16_t rwPOSITION = 161; constexpr int16_t rwPRECISION = 162;
constexpr int16_t rwPREPARE = 163; constexpr int16_t rwPRESERVE = 164;
constexpr int16_t rwPRIMARY = 165; constexpr int16_t rwPRIOR = 166;
constexpr int16_t rwPRIVILEGES = 167; constexpr int16_t rwPROCEDURE = 168;
constexpr int16_t rwPUBLIC = 169; constexpr int16_t rwREAD = 170; constexpr int16_t rwREAL = 171;
constexpr int16_t rwREFERENCES = 172; constexpr int16_t rwRELATIVE = 173;
constexpr int16_t rwRESTRICT = 174; constexpr int16_t rwREVOKE = 175;
constexpr int16_t rwRIGHT = 176; constexpr int16_t rwROLLBACK = 177;
constexpr int16_t rwROWS = 178; constexpr int16_t rwSCHEMA = 179; constexpr int16_t rwSCROLL = 180;
constexpr int16_t rwSECOND = 181; constexpr int16_t rwSECTION = 182;
constexpr int16_t rwSELECT = 183; constexpr int16_t rwSESSION = 184;
constexpr int16_t rwSESSION_USER = 185; constexpr int16_t rwSET = 186;
constexpr int16_t rwSIZE = 187; constexpr int16_t rwSMALLINT = 188; constexpr int16_t rwSOME = 189;
constexpr int16_t rwSPACE = 190; constexpr int16_t rwSQL = 191; constexpr int16_t rwSQLCODE = 192;
constexpr int16_t rwSQLERROR = 193; constexpr int16_t rwSQLSTATE = 194;
constexpr int16_t rwSTART = 195; constexpr int16_t rwSUBSTRING = 196;
constexpr int16_t rwSUM = 197; constexpr int16_t rwSYSTEM_USER = 198;
constexpr int16_t rwTABLE = 199; constexpr int16_t rwTEMPORARY = 200;
constexpr int16_t rwTHEN = 201; constexpr int16_t rwTIME = 202;
constexpr int16_t rwTIMESTAMP = 203; constexpr int16_t rwTIMEZONE_HOUR = 204;
constexpr int16_t rwTIMEZONE_MINUTE = 205; constexpr int16_t rwTO = 206;
constexpr int16_t rwTOP = 207; constexpr int16_t rwTRAILING = 208;
constexpr int16_t rwTRANSACTION = 209; constexpr int16_t rwTRANSLATE = 210;
constexpr int16_t rwTRANSLATION = 211; constexpr int16_t rwTRIM = 212;
constexpr int16_t rwTRUE = 213; constexpr int16_t rwUNION = 214; constexpr int16_t rwUNIQUE = 215;
constexpr int16_t rwUNKNOWN = 216; constexpr int16_t rwUPDATE = 217;
constexpr int16_t rwUPPER = 218; constexpr int16_t rwUSAGE = 219; constexpr int16_t rwUSER = 220;
constexpr int16_t rwUSING = 221; constexpr int16_t rwVALUE = 222; constexpr int16_t rwVALUES = 223;
constexpr int16_t rwVARCHAR = 224; constexpr int16_t rwVARYING = 225;
constexpr int16_t rwVIEW = 226; constexpr int16_t rwWHEN = 227; constexpr int16_t rwWHENEVER = 228;
constexpr int16_t rwWHERE = 229; constexpr int16_t rwWITH = 230; constexpr int16_t rwWORK = 231;
constexpr int16_t rwWRITE = 232; constexpr int16_t rwYEAR = 233; constexpr int16_t rwZONE = 234;
constexpr int16_t rwPASSWORD = 235; constexpr int16_t rwBLOBBLOCKSIZE = 236;
constexpr int16_t rwBLOBCOMPRESSIONMODE = 237; constexpr int16_t rwBLOBCOMPRESSIONALGORITHM = 238;
constexpr int16_t rwLASTAUTOINC = 239; constexpr int16_t rwMODIFY = 240;
constexpr int16_t rwNEW = 241; constexpr int16_t rwINDEX = 242; constexpr int16_t rwNOCASE = 243;
constexpr int16_t rwLTRIM = 244; constexpr int16_t rwRTRIM = 245; constexpr int16_t rwPOS = 246;
constexpr int16_t rwLENGTH = 247; constexpr int16_t rwSYSDATE = 248; constexpr int16_t rwNOW = 249;
constexpr int16_t rwTOBLOB = 250; constexpr int16_t rwTODATE = 251;
constexpr int16_t rwTOSTRING = 252; constexpr int16_t rwAUTOINDEXES = 253;
constexpr int16_t rwNOAUTOINDEXES = 254; constexpr int16_t rwINCREMENT = 255;
constexpr int16_t rwLASTVALUE = 256; constexpr int16_t rwMAXVALUE = 257;
constexpr int16_t rwMINVALUE = 258; constexpr int16_t rwCYCLED = 259;
constexpr int16_t rwNOMAXVALUE = 260; constexpr int16_t rwNOMINVALUE = 261;
constexpr int16_t rwNOCYCLED = 262; constexpr int16_t rwINITIALVALUE = 263;
constexpr int16_t rwRENAME = 264;

// One token of a command.
struct TToken {
  TTokenType TokenType = TTokenType::tktNone;
  int16_t ReservedWord = NoReservedWord;  // the word's number for tktReservedWord, else 265
  // The text; quoted and bracketed strings without their delimiters and with doubled
  // delimiters collapsed; parameters without the colon.
  std::string Text;
  // tktParameter only: a copy of the parameter's value taken while tokenising, shared by the
  // copies of this token (the lexer hands out copies) and freed with the last of them.
  std::shared_ptr<const TTarnexVariant> ParamValue;
  int32_t LineNum = 0;    // line of the first character, from 1 (counted per command)
  int32_t ColumnNum = 0;  // column of the first character, from 1
};

// The tokens of the current command.
struct TSQLCommand {
  std::vector<TToken> Tokens;  // in text order
  int32_t TokenCount = 0;      // Tokens.size()
  int32_t CurrentToken = 0;    // number of the current token, from 0
};

// ---------------------------------------------------------------------------------------------
// Lexer
// ---------------------------------------------------------------------------------------------

// Tokenises one whole command at a time, so parsers can read tokens by number and step back.
// Positions (LineNum, ColumnNum) count from 1 at the first character of each command's scan,
// that is from the character after the previous ';'.
//
// Errors (ETarnexException), raised while a command is tokenised:
//   30062 "Invalid numeric symbol '%s' at line %d, column %d"  a number followed by a letter etc.
//   30358 "Value for parameter '%s' not found"                 ':name' without such a parameter
//   30059 "Missing symbol ')' at line %d, column %d"           at the last '(' of the command
//   30060 "Unexpected symbol ')' found at line %d, column %d"  at the last ')'
//   30061 "Unterminated string at line %d, column %d"          at the opening quote or bracket
class TTarnexLexer {
public:
  // script: the text, read by byte position. params: not owned, may be nil (filters); it must
  // outlive the tokenising of every command.
  TTarnexLexer(const std::string& script, TTarnexSQLParams* params);
  TTarnexLexer(const TTarnexLexer&) = delete;
  TTarnexLexer& operator=(const TTarnexLexer&) = delete;

  // Drops the previous command's tokens (and their parameter values), advances CommandNo,
  // tokenises the next command and makes its first token current. False when the command has
  // no token: an empty command (only blanks and comments before ';' or the end) ends the
  // script, and every later call answers false without reading on.
  bool GetNextCommand();
  // Copies the current token; beyond the last token: false and a tktNone token carrying the
  // position where the command's text ended.
  bool GetCurrentToken(TToken& token) const;
  // Copies the token after the current one (or tktNone) and advances the current number by
  // one in either case.
  bool GetNextToken(TToken& token);
  // The token after the current one (or tktNone), without advancing.
  bool LookAhead(TToken& token) const;
  int32_t GetCurrentTokenNo() const { return Command_.CurrentToken; }
  // Makes token number n current (backtracking); numbers beyond the end read as tktNone.
  void SetCurrentTokenNo(int32_t n) { Command_.CurrentToken = n < 0 ? 0 : n; }
  // True when token is a reserved word with number `word`, or any reserved word when `word`
  // is NoReservedWord (265).
  static bool IsReservedWord(const TToken& token, int16_t word);

  int32_t CommandNo() const { return CommandNo_; }        // -1 before the first command
  const TSQLCommand& Command() const { return Command_; } // the current command
  const std::string& Script() const { return Script_; }
  TTarnexSQLParams* Params() const { return Params_; }     // not owned, may be nil

private:
  void TokeniseCommand();

  std::string Script_;          // the script text
  TTarnexSQLParams* Params_;    // not owned, may be nil
  int32_t Length_;              // bytes of Script_
  int32_t Position_ = 0;        // scan position: just behind the ';' that ended the last command
  int32_t CommandNo_ = -1;      // number of the current command
  bool Exhausted_ = false;      // an empty command ended the script
  TSQLCommand Command_;         // the current command's tokens
  int32_t EndLine_ = 1;         // position where the current command's scan ended (tktNone tokens)
  int32_t EndColumn_ = 1;
};
