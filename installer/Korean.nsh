; The setup program's own Korean texts (the pages themselves come from NSIS's Korean language file).

!define PRODUCT_NAME "Kestrova 서식 검색"
!define PUBLISHER_NAME "Kestrova"
!define ADDIN_FRIENDLY_NAME "Kestrova 서식 검색"
!define ADDIN_DESCRIPTION "작업 창에서 문서 서식을 검색하고 바로 여는 Kestrova 추가 기능"

LangString TextNeeds64Bit ${LANG_KOREAN} "이 프로그램은 64비트 Windows에서만 설치할 수 있습니다."
LangString TextNeedsAdmin ${LANG_KOREAN} "모든 사용자용으로 설치하려면 관리자 권한으로 실행해야 합니다."
LangString TextUninstallNeedsAdmin ${LANG_KOREAN} "모든 사용자용으로 설치된 프로그램입니다. 관리자 권한으로 제거를 실행하십시오."
LangString TextBadCode ${LANG_KOREAN} "배포 코드(/CODE=)는 영문자, 숫자, '-', '_'로 된 1~15자여야 합니다."
LangString TextCodeNotStored ${LANG_KOREAN} "배포 코드를 레지스트리에 기록하지 못했습니다. 관리자 권한으로 다시 실행하십시오."
LangString TextInUse ${LANG_KOREAN} "Kestrova 서식 검색이 실행 중인 프로그램(Word, Excel, PowerPoint, 웹 브라우저 또는 업데이트 프로그램)에서 사용 중입니다.$\r$\n$\r$\n해당 프로그램을 모두 닫은 뒤 [다시 시도]를 누르십시오."
LangString TextRegisterFailed ${LANG_KOREAN} "구성 요소를 등록하지 못했습니다. 설치한 파일을 되돌렸습니다."
LangString TextUnregisterFailed ${LANG_KOREAN} "구성 요소의 등록을 해제하지 못했습니다."
LangString TextFilesLeft ${LANG_KOREAN} "일부 파일을 지우지 못했습니다. 실행 중인 프로그램을 닫은 뒤 다시 제거하십시오."
