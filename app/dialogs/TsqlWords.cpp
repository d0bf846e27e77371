#include "dialogs/TsqlWords.h"

#include <string>
#include <unordered_map>

// The viewers' T-SQL language: each list one text, its entries separated by a
// line feed, kept as stored (duplicates and the blanks after some entries too).
namespace vx::app::tsql {

// Keywords, first half (statements, options, types).
const char* const kKeywords1 =
    "ADD\nALTER\nANSI_DEFAULTS\nANSI_NULL_DFLT_OFF\nANSI_NULL_DFLT_ON\nANSI_NULLS\nANSI_PADDING\n"
    "ANSI_WARNINGS\nARITHABORT\nARITHIGNORE\nAS\nASC\nAUTHORIZATION\nAUTO\nBACKUP\nBEGIN\n"
    "bigint\nbinary\nbit\nBREAK\nBROWSE\nBULK\nBY\nCASCADE\nCAST and CONVERT\nCHAR\nCHECK\n"
    "CHECKALLOC\nCHECKCATALOG\nCHECKCONSTRAINTS\nCHECKDB\nCHECKFILEGROUP\nCHECKIDENT\n"
    "CHECKPOINT\nCHECKTABLE\nCLOSE\nCLUSTERED\nCOLLATE\nCOLUMN\nCOMMIT\nCOMPUTE\nCONCAT\n"
    "CONCAT_NULL_YIELDS_NULL\nCONCURRENCY\nCONNECT\nCONNECTION\nCONSTRAINT\nCONTAINS\n"
    "CONTAINSTABLE\nCONTINUE\nCREATE\nCUBE\nCUR_BROWSE\nCURRENT\nCURRENT_DATE\nCURRENT_TIME\n"
    "CURSOR\nCURSOR_CLOSE_ON_COMMIT\nCURSORTYPE\nDATABASE\nDATEFIRST\nDATEFORMAT\ndatetime\n"
    "DBCC\nDBREINDEX\nDBREPAIR\nDEADLOCK_PRIORITY\nDEALLOCATE\ndecimal\nDECLARE\nDEFAULT\n"
    "DELETE\nDENY\nDESC\nDISABLE_DEF_CNST_CHK\nDISK\nDISTINCT\nDISTRIBUTED\nDOUBLE\nDROP\n"
    "DROP_EXISTING\nDUMMY\nDUMP\nDYNAMIC\nELEMENTS\nELSE\nENCRYPTION\nEND\nERRLVL\nESCAPE\n"
    "EXCEPT\nEXEC\nEXECUTE\nEXIT\nEXPAND_VIEWS\nEXPLICIT\nFAST\nFASTFIRSTROW\nFETCH\n"
    "FETCHBUFFER \nFILE\nFILLFACTOR\nFIPS_FLAGGER\nfloat\nFMTONLY\nfn_helpcollations\n"
    "fn_listextendedproperty\nfn_servershareddrives\nfn_trace_geteventinfo\n"
    "fn_trace_getfilterinfo\nfn_trace_getinfo\nfn_trace_gettable\nfn_virtualfilestats\nFOR\n"
    "FORCE_ORDER\nFORCEPLAN\nFOREIGN\nFORWARD\nFREETEXT\nFREETEXTTABLE\nFROM\nFULL\nFUNCTION\n"
    "GOTO\nGRANT\nGROUP\nGROUPING\nHAS_DBACCESS\nHASH\nHAVING\nHELP\nHOLDLOCK\nIDENTITY\n"
    "IDENTITY_INSERT\nIDENTITYCOL\nIF\nIGNORE_DUP_KEY\nimage\nIMPLICIT_TRANSACTIONS\nINDEX\n"
    "INDEXDEFRAG\nINNER\nINPUTBUFFER\nINSERT\nint\nINTERSECT\nINTO\nIS\nKEEP_PLAN\n"
    "KEEPFIXED_PLAN\nKEY\nKEYSET\nKILL\nLANGUAGE\nLINENO\nLOAD\nLOCK_TIMEOUT\nLOOP\nMAX \n"
    "MAXDOP\nMERGE\nMIN \nmoney\nNATIONAL\nNCHAR\nNEWALLOC\nNOCHECK\nNOCOUNT\nNOEXEC\nNOLOCK\n"
    "NONCLUSTERED\nntext\nnumeric\nNUMERIC_ROUNDABORT\nnvarchar\nOF\nOFF\nOFFSETS\nON\nOPEN\n"
    "OPENDATASOURCE\nOPENQUERY\nOPENROWSET\nOPENTRAN\nOPENXML\nOPTION\nORDER\nOUTPUTBUFFER\n"
    "OVER\nPAD_INDEX\nPAGLOCK\nPARSEONLY\nPERCENT\nPINTABLE\nPLAN\nPRECISION\nPRIMARY\nPRINT\n"
    "PROC\nPROCCACHE\nPROCEDURE\nPUBLIC\nQUERY_GOVERNOR_COST_LIMIT\nQUOTED_IDENTIFIER\n"
    "RAISERROR\nRAW\nREAD\nREADCOMMITTED\nREADPAST\nREADTEXT\nREADUNCOMMITTED\nreal\nRECOMPILE\n"
    "RECONFIGURE\nREFERENCES\nREMOTE_PROC_TRANSACTIONS\nREPEATABLEREAD\nREPLICATION\nRESTORE\n"
    "RESTRICT\nRETURN\nREVOKE\nROBUST_PLAN\nROLLBACK\nROLLUP\nROWCOUNT\nROWCOUNT_BIG\n"
    "ROWGUIDCOL\nROWLOCK\nRULE\nSAVE\nSCHEMA\nSCROLLOPTION \nSECTION  \nSELECT\nSERIALIZABLE\n"
    "SET\nSETUSER\nSHOW_STATISTICS\nSHOWCONTIG\nSHOWPLAN_ALL\nSHOWPLAN_TEXT\nSHRINKDATABASE\n"
    "SHRINKFILE\nSHUTDOWN\nsmalldatetime\nsmallint\nsmallmoney";

// Keywords, second half.
const char* const kKeywords2 =
    "sql_variant\nSQLPERF\nSTATISTICS\nSTATISTICS IO\nSTATISTICS PROFILE\nSTATISTICS TIME\n"
    "STATISTICS_NORECOMPUTE\nTABLE\nTABLOCK\nTABLOCKX\ntext\nTEXTSIZE\nTHEN\nTIES\ntimestamp\n"
    "tinyint\nTO\nTOP\nTRACEOFF\nTRACEON\nTRACESTATUS\nTRAN\nTRANSACTION\n"
    "TRANSACTION ISOLATION LEVEL\nTRIGGER\nTRUNCATE\nTSEQUAL\nUNION\nUNIQUE\nuniqueidentifier\n"
    "UNPINTABLE\nUPDATE\nUPDATETEXT\nUPDATEUSAGE\nUPDLOCK\nUSE\nUSEROPTIONS\nVALUES\nvarbinary\n"
    "varchar\nVARYING\nVIEW\nWAITFOR\nWHEN\nWHERE\nWHILE\nWITH\nWORK  \nWRITETEXT\nXACT_ABORT\n"
    "XMLDATA";

// Operators: symbols and the words that read as operators.
const char* const kOperators =
    "(\n)\n+\n-\n*\n/\n%\n=\n&\n|\n^\nbinary\nbit\nint\nsmallint\ntinyint\nvarbinary\n>\n<\n>=\n"
    "<=\n<>\n!=\n!<\n!>\nALL\nAND\nANY\nBETWEEN\nCROSS\nEXISTS\nIN\nJOIN\nLIKE\nNOT\nNULL\nOR\n"
    "OUTER\nSOME\n~";

// Functions: the global variables first, then the built-in functions.
const char* const kFunctions =
    "@@CONNECTIONS\n@@CPU_BUSY\n@@CURSOR_ROWS\n@@DATEFIRST\n@@DBTS\n@@ERROR\n@@FETCH_STATUS\n"
    "@@IDENTITY\n@@IDLE\n@@IO_BUSY\n@@LANGID\n@@LANGUAGE\n@@LOCK_TIMEOUT\n@@MAX_CONNECTIONS\n"
    "@@MAX_PRECISION\n@@NESTLEVEL\n@@OPTIONS\n@@PACK_RECEIVED\n@@PACK_SENT\n@@PACKET_ERRORS\n"
    "@@PROCID\n@@REMSERVER\n@@ROWCOUNT\n@@SERVERNAME\n@@SERVICENAME\n@@SPID\n@@TEXTSIZE\n"
    "@@TIMETICKS\n@@TOTAL_ERRORS\n@@TOTAL_READ\n@@TOTAL_WRITE\n@@TRANCOUNT\n@@VERSION\nABS\n"
    "ACOS\nAPP_NAME\nASCII\nASIN\nATAN\nATN2\nAVG\nBINARY_CHECKSUM\nCASE\nCASE\nCAST\nCONVERT\n"
    "CEILING\nCHARINDEX\nCHECKSUM\nCHECKSUM_AGG\nCOALESCE\nCOL_LENGTH\nCOL_NAME\n"
    "COLLATIONPROPERTY\nCOLUMNPROPERTY\nCONVERT\nCOS\nCOT\nCOUNT\nCOUNT_BIG\nCURRENT_TIMESTAMP\n"
    "CURRENT_USER\nCURSOR_STATUS\nDATABASEPROPERTY\nDATABASEPROPERTYEX\nDATALENGTH\nDATEADD\n"
    "DATEDIFF\nDATENAME\nDATEPART\nDAY\nDB_ID\nDB_NAME\nDEGREES\nDIFFERENCE\nEXP\nFILE_ID\n"
    "FILE_NAME\nFILEGROUP_ID\nFILEGROUP_NAME\nFILEGROUPPROPERTY\nFILEPROPERTY\nFLOOR\n"
    "FORMATMESSAGE\nFULLTEXTCATALOGPROPERTY\nFULLTEXTSERVICEPROPERTY\nGETANSINULL\nGETDATE\n"
    "GETUTCDATE\nHOST_ID\nHOST_NAME\nIDENT_CURRENT\nIDENT_INCR\nIDENT_SEED\nINDEX_COL\n"
    "INDEXKEY_PROPERTY\nINDEXPROPERTY\nIS_MEMBER\nIS_SRVROLEMEMBER\nISDATE\nISNULL\nISNUMERIC\n"
    "LEFT\nLEN\nLOG\nLOG10\nLOWER\nLTRIM\nMONTH\nNEWID\nNULLIF\nOBJECT_ID\nOBJECT_NAME\n"
    "OBJECTPROPERTY\nPARSENAME\nPATINDEX\nPERMISSIONS\nPI\nPOWER\nQUOTENAME\nRADIANS\nRAND\n"
    "REPLACE\nREPLICATE\nREVERSE\nRIGHT\nROUND\nRTRIM\nSCOPE_IDENTITY\nSERVERPROPERTY\n"
    "SESSION_USER\nSESSIONPROPERTY\nSIGN\nSIN\nSOUNDEX\nSPACE\nSQL_VARIANT_PROPERTY\nSQRT\n"
    "SQUARE\nSTATS_DATE\nSTDEV\nSTDEVP\nSTR\nSTUFF\nSUBSTRING\nSUM\nSUSER_SID\nSUSER_SNAME\n"
    "SYSTEM_USER\nTAN\nTEXTPTR\nTEXTVALID\nTYPEPROPERTY\nUNICODE\nUPPER\nUSER\nUSER_ID\n"
    "USER_NAME\nVAR\nVARP\nYEAR";

// System tables of master, every database, msdb and replication.
const char* const kSystemTables =
    "sysaltfiles\nsyscacheobjects\nsyscharsets\nsysconfigures\nsyscurconfigs\nsysdatabases\n"
    "sysdevices\nsyslanguages\nsyslockinfo\nsyslogins\nsysmessages\nsysoledbusers\nsysperfinfo\n"
    "sysprocesses\nsysremotelogins\nsysservers\nsyscolumns\nsyscomments\nsysconstraints\n"
    "sysdepends\nsysfilegroups\nsysfiles\nsysforeignkeys\nsysfulltextcatalogs\nsysindexes\n"
    "sysindexkeys\nsysmembers\nsysobjects\nsyspermissions\nsysprotects\nsysreferences\nsystypes\n"
    "sysusers\nsysalerts\nsyscategories\nsysdownloadlist\nsysjobhistory\nsysjobs\n"
    "sysjobschedules\nsysjobservers\nsysjobsteps\nsysnotifications\nsysoperators\n"
    "systargetservergroupmembers\nsystargetservergroups\nsystargetservers\nsystaskids\n"
    "sysdatabases\nsysservers\nsysarticles\nsysarticleupdates\nsysmergearticles\n"
    "sysmergepublications\nsysmergeschemachange\nsysmergesubscriptions\nsysmergesubsetfilters\n"
    "syspublications\nsyssubscriptions";

namespace {

// Longer than any entry: such words are plain without a look-up.
constexpr std::size_t kLongest = 32;

std::string Upper(std::string_view word) {
  std::string upper(word);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

void AddList(std::unordered_map<std::string, int>& table, std::string_view list, int style) {
  std::size_t from = 0;
  while (from <= list.size()) {
    std::size_t lf = list.find('\n', from);
    if (lf == std::string_view::npos) lf = list.size();
    std::string_view entry = list.substr(from, lf - from);
    while (!entry.empty() && entry.back() == ' ') entry.remove_suffix(1);
    if (!entry.empty() && entry.find(' ') == std::string_view::npos) table.emplace(Upper(entry), style);
    from = lf + 1;
  }
}

const std::unordered_map<std::string, int>& Table() {
  static const std::unordered_map<std::string, int> table = [] {
    std::unordered_map<std::string, int> t;
    AddList(t, kKeywords1, kKeyword);
    AddList(t, kKeywords2, kKeyword);
    AddList(t, kOperators, kOperator);
    AddList(t, kFunctions, kFunction);
    AddList(t, kSystemTables, kSystemTable);
    return t;
  }();
  return table;
}

}  // namespace

int WordStyle(std::string_view word) {
  if (word.empty() || word.size() > kLongest) return kPlain;
  const auto& table = Table();
  auto it = table.find(Upper(word));
  return it == table.end() ? kPlain : it->second;
}

}  // namespace vx::app::tsql
